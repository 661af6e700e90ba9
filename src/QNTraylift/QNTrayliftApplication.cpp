// SPDX-License-Identifier: MIT
#include "AgentTrace.h"
#include "QNTraylift.h"

#include "alerts/AlertPresenter.h"
#include "alerts/ProgramStart.h"
#include "events/EventManager.h"
#include "strings/LocalizedString.h"

#include "QNCrashReporterKit.h"

#include <QApplication>

int qnTrayliftMain(int argc, char** argv)
{
    if (qn::printHelpIfAsked(argc, argv,
                             "Usage: QNTraylift [--help]\n\n"
                             "The eject agent. It opens the tray of the drive chosen in QNTrayliftSetup,\n"
                             "unmounting and ejecting a mounted disc first, or closes the tray when it is\n"
                             "open; with auto-close on it closes the tray again after a countdown. To act\n"
                             "on another drive, run qneject -d POSITION. See QNTraylift(1).\n"))
        return 0;
    // From a terminal, a tty or a user service without a display the agent
    // still acts on the drive; its panel is then drawn offscreen and its
    // alerts go to standard error (and a desktop notification) without waiting.
    qn::AlertPresenter::startWithoutDisplayIfNeeded();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QNTraylift"));
    QApplication::setQuitOnLastWindowClosed(false);
    qn::installTranslations(QStringLiteral("QNTraylift"));

    qn::events::EventManager events;
    // Started directly while another agent runs: the request went to it.
    if (events.start() == qn::events::EventManager::StartResult::ForwardedToRunningInstance)
        return 0;

    // Crash tracking starts before anything else can fail; the observer is
    // started without waiting for it, so the tray command is not delayed.
    QNCrashReporterKit::sharedInstance().beginTracking();

    std::unique_ptr<QNTraylift> delegate = QNTraylift::create();
    if (delegate)
        delegate->applicationWillFinishLaunching(events);
    const int status = app.exec();
    qnAgentTrace(QStringLiteral("quit status=%1").arg(status));
    return status;
}
