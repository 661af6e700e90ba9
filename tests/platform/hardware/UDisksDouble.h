// SPDX-License-Identifier: MIT
#pragma once
// A udisks2 stand-in (python3-dbusmock) on a private bus that the test starts
// and stops.
#include "PrivateSessionBus.h"

#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

namespace qn::test {

class UDisksDouble {
public:
    /// Who may connect to the bus: the test's own user, or every user (for
    /// programs the test runs as another user).
    enum class Users { Same, Every };

    /// devices: block device name -> "ok", "busy" or "notauth" (its
    /// Filesystem.Unmount); "drive:NAME" -> "ok", "notauth" or "failed" (the
    /// Drive.Eject of the drive that holds NAME). An empty map gives udisks2
    /// without objects. False (with `why`) when the bus or the double cannot
    /// start.
    bool start(const QMap<QString, QString>& devices, QString* why, Users users = Users::Same);
    /// A bus on which nobody plays udisks2.
    bool startWithoutUDisks(QString* why, Users users = Users::Same);
    QString busAddress() const { return _bus.address(); }
    /// The calls received, in order ("Unmount sr0", "Eject sr0").
    QStringList calls() const;

private:
    QTemporaryDir _dir;
    PrivateSessionBus _bus;
};

}  // namespace qn::test
