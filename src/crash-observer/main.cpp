// SPDX-License-Identifier: MIT
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
