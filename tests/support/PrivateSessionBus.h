// SPDX-License-Identifier: MIT
#pragma once
// A private D-Bus session bus (dbus-daemon) and the stand-in services a test
// starts on it (python3-dbusmock). Everything it starts is stopped by pid when
// it goes, services first.
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace qn::test {

class PrivateSessionBus {
public:
    PrivateSessionBus() = default;
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;
    ~PrivateSessionBus();

    /// Starts dbus-daemon and reads its address. False (with `why`) when it cannot.
    /// `configFile`: the daemon's configuration instead of the session one.
    bool start(QString* why, const QString& configFile = {});
    QString address() const { return _address; }

    /// Starts `python3 args...` with this bus as its session bus and waits until
    /// `ready()` holds (bounded by 20 s). False (with `why` naming `what`) when the
    /// process cannot start or ends first.
    bool startPython(const QStringList& args, const std::function<bool()>& ready, const QString& what, QString* why);

    /// True once `name` is owned on this bus (bounded by `timeoutMs`).
    bool waitForName(const QString& name, int timeoutMs = 20000) const;

    /// python3-dbusmock's notification daemon, logging the calls it gets to `log`.
    bool startNotificationDaemon(const QString& log, QString* why);

private:
    QProcess _bus;
    std::vector<std::unique_ptr<QProcess>> _services;
    QString _address;
};

}  // namespace qn::test
