#include "AgentTrace.h"
#include "QNTraylift.h"

#include "events/EventManager.h"
#include "strings/LocalizedString.h"

#include "QNCrashReporterKit.h"

#include <QApplication>

int qnTrayliftMain(int argc, char** argv)
{
    // From a terminal or a hotkey daemon without a display the agent still
    // acts on the drive; its panel is then drawn offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QNTraylift"));
    QApplication::setQuitOnLastWindowClosed(false);
    qn::installTranslations(QStringLiteral("QNTraylift"));

    qn::events::EventManager events;
    // Started directly while another agent runs: the request went to it.
    if (events.start() == qn::events::EventManager::StartResult::ForwardedToRunningInstance)
        return 0;

    std::unique_ptr<QNTraylift> delegate = QNTraylift::create();
    if (delegate) {
        delegate->setCrashTracking([] { QNCrashReporterKit::sharedInstance().beginTracking(); });
        delegate->applicationWillFinishLaunching(events);
    }
    const int status = app.exec();
    qnAgentTrace(QStringLiteral("quit status=%1").arg(status));
    return status;
}
