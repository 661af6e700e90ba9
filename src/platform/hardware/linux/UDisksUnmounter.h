// SPDX-License-Identifier: MIT
#pragma once
// Unmounts a filesystem (Filesystem.Unmount) and ejects a drive (Drive.Eject)
// through udisks2 (org.freedesktop.UDisks2), so a desktop user needs no root
// rights and, for the eject, no access to the drive's node: udisks2's policy
// (polkit) decides.
#include <QString>

namespace qn::hardware {

class UDisksUnmounter {
public:
    enum class Result {
        Done,           // unmounted (or it was not mounted); ejected
        Busy,           // a file on it is in use
        NotAuthorized,  // the policy refused this user
        Failed,         // udisks2 tried and failed otherwise
        Unavailable,    // no udisks2 on the bus, or it does not know the device
    };

    /// `busAddress` empty: the system bus (DBUS_SYSTEM_BUS_ADDRESS applies).
    explicit UDisksUnmounter(QString busAddress = {});

    /// Unmounts the filesystem of block device `deviceName` ("sr0").
    Result unmount(const QString& deviceName, QString* message = nullptr) const;

    /// Ejects the drive that holds block device `deviceName` ("sr0"): the
    /// tray opens (udisks2 does not unmount first). Unavailable also when
    /// udisks2 knows no drive for the device.
    Result eject(const QString& deviceName, QString* message = nullptr) const;

    /// udisks2's object path for a block device ("sr0" ->
    /// "/org/freedesktop/UDisks2/block_devices/sr0"; other characters than
    /// letters, digits and '_' become "_xx" hex).
    static QString objectPathFor(const QString& deviceName);

private:
    QString _busAddress;
    template <typename Call>
    Result onBus(Call call, QString* message) const;
};

}  // namespace qn::hardware
