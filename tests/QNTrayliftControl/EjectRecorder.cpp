// SPDX-License-Identifier: MIT
// A stand-in agent for the widget plug-in's tests: a real process that accepts
// the eject request like the agent does and appends one line per request to
// the file named by QN_TEST_EJECT_LOG:
//     pid=<pid> index=<direct object as int32 | none | not-int32>
// It quits on 'aevt'/'quit', and by itself after a minute so that a broken
// test never leaves it behind.
#include "events/AppleEvent.h"
#include "events/EventManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <unistd.h>

using namespace qn::events;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString logPath = qEnvironmentVariable("QN_TEST_EJECT_LOG");

    EventManager events;
    events.installHandler(fourCC("QNTL"), fourCC("Ejct"), [&](const AppleEvent& event) {
        QString index = QStringLiteral("none");
        if (const auto object = event.param(keyDirectObject)) {
            const auto value = object->toInt32();
            index = value ? QString::number(*value) : QStringLiteral("not-int32");
        }
        QFile log(logPath);
        if (log.open(QIODevice::Append | QIODevice::Text))
            log.write(QStringLiteral("pid=%1 index=%2\n").arg(::getpid()).arg(index).toUtf8());
    });
    if (events.start() == EventManager::StartResult::ForwardedToRunningInstance)
        return 0;
    QTimer::singleShot(60000, [] { EventManager::terminate(0); });
    return app.exec();
}
