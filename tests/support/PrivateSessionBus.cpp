// SPDX-License-Identifier: MIT
#include "PrivateSessionBus.h"

#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace qn::test {
namespace {

void stop(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();  // SIGTERM to this child's pid
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

}  // namespace

PrivateSessionBus::~PrivateSessionBus()
{
    for (auto& service : _services)
        stop(*service);
    stop(_bus);
}

bool PrivateSessionBus::start(QString* why, const QString& configFile)
{
    _bus.start(QStringLiteral("dbus-daemon"),
               {configFile.isEmpty() ? QStringLiteral("--session") : QStringLiteral("--config-file=") + configFile,
                QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!_bus.waitForStarted(5000)) {
        *why = QStringLiteral("dbus-daemon cannot start");
        return false;
    }
    if (!waitUntil([&] { return _bus.canReadLine(); }, 10000)) {
        *why = QStringLiteral("dbus-daemon printed no address");
        return false;
    }
    _address = QString::fromUtf8(_bus.readLine()).trimmed();
    return true;
}

bool PrivateSessionBus::startPython(const QStringList& args, const std::function<bool()>& ready, const QString& what,
                                    QString* why)
{
    auto service = std::make_unique<QProcess>();
    QProcess& p = *service;
    _services.push_back(std::move(service));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), _address);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(systemPython(), args);
    if (!p.waitForStarted(5000) || !waitUntil([&] { return ready() || p.state() == QProcess::NotRunning; }, 20000)
        || !ready()) {
        *why = what + QStringLiteral(" (python3-dbusmock) did not start");
        return false;
    }
    return true;
}

bool PrivateSessionBus::waitForName(const QString& name, int timeoutMs) const
{
    const QString connection = QStringLiteral("qn-test-bus-probe");
    bool owned = false;
    {
        QDBusConnection probe = QDBusConnection::connectToBus(_address, connection);
        owned = waitUntil([&] {
            return probe.isConnected() && probe.interface() && probe.interface()->isServiceRegistered(name).value();
        }, timeoutMs);
    }
    QDBusConnection::disconnectFromBus(connection);
    return owned;
}

bool PrivateSessionBus::startNotificationDaemon(const QString& log, QString* why)
{
    return startPython({QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--session"),
                        QStringLiteral("--template"), QStringLiteral("notification_daemon"), QStringLiteral("-l"), log},
                       [&] { return waitForName(QStringLiteral("org.freedesktop.Notifications"), 200); },
                       QStringLiteral("the notification daemon"), why);
}

}  // namespace qn::test
