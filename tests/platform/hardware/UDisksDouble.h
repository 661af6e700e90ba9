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
    /// devices: block device name -> "ok", "busy" or "notauth". An empty map
    /// gives a bus without udisks2 objects. False (with `why`) when the bus or
    /// the double cannot start.
    bool start(const QMap<QString, QString>& devices, QString* why);
    QString busAddress() const { return _bus.address(); }
    /// The Unmount calls received, in order ("Unmount sr0").
    QStringList calls() const;

private:
    QTemporaryDir _dir;
    PrivateSessionBus _bus;
};

}  // namespace qn::test
