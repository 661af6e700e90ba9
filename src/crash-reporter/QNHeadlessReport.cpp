// SPDX-License-Identifier: MIT
#include "QNHeadlessReport.h"

#include "CrashReportingEvents.h"
#include "QNCrashLogFile.h"
#include "QNCrashReporter.h"
#include "events/EventManager.h"
#include "strings/LocalizedString.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>

#include <cstdio>

using namespace qn::events;

namespace {

constexpr int kNotifyTimeoutMs = 2000;
constexpr int kIdleLimitMs = 10000;

void postDesktopNotification(const QString& name, const QString& message)
{
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service))
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                                         service, QStringLiteral("Notify"));
    notify << QStringLiteral("QNCrashReporter") << quint32(0) << QString()
           << qn::localizedString("QuitUnexpectedly").arg(name) << message << QStringList() << QVariantMap()
           << qint32(-1);
    bus.call(notify, QDBus::Block, kNotifyTimeoutMs);
}

}  // namespace

bool QNHasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

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
                                  postDesktopNotification(name, message);
                              }
                              EventManager::terminate(0);
                          });
    if (events.start() == EventManager::StartResult::ForwardedToRunningInstance)
        return 0;
    // Nobody can see an idle reporter: without a target it ends by itself.
    QTimer::singleShot(kIdleLimitMs, &app, [] { EventManager::terminate(0); });
    return app.exec();
}
