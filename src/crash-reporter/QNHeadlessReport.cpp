// SPDX-License-Identifier: MIT
#include "QNHeadlessReport.h"

#include "CrashReportingEvents.h"
#include "QNCrashLogFile.h"
#include "QNCrashReporter.h"
#include "alerts/AlertPresenter.h"
#include "events/EventManager.h"
#include "strings/LocalizedString.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

using namespace qn::events;
using qn::AlertPresenter;

namespace {

constexpr int kNotifyTimeoutMs = 2000;
constexpr int kIdleLimitMs = 10000;

}  // namespace

int QNRunHeadlessReport(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("QNCrashReporter"));
    qn::installTranslations(QStringLiteral("QNCrashReporter"));
    EventManager events;
    events.installHandler(qn::contracts::kCrashEventClass, qn::contracts::kSetTargetInfoEventID,
                          [](const AppleEvent& event) {
                              QString name;
                              QString path;
                              QNCrashReporter::readTargetInfo(event, &name, &path);
                              if (!name.isEmpty() && !path.isEmpty()) {
                                  const QString message =
                                      qn::localizedString("CrashReportIsIn")
                                          .arg(name, QNCrashLogFile::crashLogFilePathForApplicationName(name));
                                  std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
                                  std::fflush(stderr);
                                  AlertPresenter::notifyDesktop(QStringLiteral("QNCrashReporter"),
                                                                qn::localizedString("QuitUnexpectedly").arg(name),
                                                                message, kNotifyTimeoutMs);
                              }
                              EventManager::terminate(0);
                          });
    if (events.start() == EventManager::StartResult::ForwardedToRunningInstance)
        return 0;
    // Nobody can see an idle reporter: without a target it ends by itself.
    QTimer::singleShot(kIdleLimitMs, &app, [] { EventManager::terminate(0); });
    return app.exec();
}
