// SPDX-License-Identifier: MIT
// src/crash-reporter: the crash reporter (report window, headless report, form post) and the parts its tests share.
#include "QNCrashReporter.h"
#include "QNHeadlessReport.h"
#include "alerts/AlertPresenter.h"
#include "events/EventManager.h"
#include "strings/LocalizedString.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (!qn::AlertPresenter::displayAvailable())
        return QNRunHeadlessReport(argc, argv);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("QNCrashReporter"));
    app.setQuitOnLastWindowClosed(false);
    qn::installTranslations(QStringLiteral("QNCrashReporter"));
    qn::events::EventManager events;
    QNCrashReporter reporter;
    reporter.applicationWillFinishLaunching();
    if (events.start() == qn::events::EventManager::StartResult::ForwardedToRunningInstance)
        return 0;
    return app.exec();
}
