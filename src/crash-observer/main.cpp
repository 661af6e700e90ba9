// SPDX-License-Identifier: MIT
// src/crash-observer: the crash observer, which notices a tracked program's crash and starts the reporter.
#include "QNCrashObserver.h"
#include "events/EventManager.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("QNCrashObserver"));
    qn::events::EventManager events;
    QNCrashObserver observer;
    observer.applicationWillFinishLaunching();
    if (events.start() == qn::events::EventManager::StartResult::ForwardedToRunningInstance)
        return 0;
    return app.exec();
}
