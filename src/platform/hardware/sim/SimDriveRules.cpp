// SPDX-License-Identifier: MIT
#include "hardware/sim/SimDriveRules.h"

#include "hardware/DeviceRegistry.h"

#include <QUuid>

namespace qn::hardware {

namespace {

QString quoted(const QString& s)
{
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString defaultMountPoint(const QString& volume)
{
    return QStringLiteral("/media/sim/") + volume;
}

}  // namespace

bool SimDriveRules::hasMountedVolume(const SimDrive& d)
{
    if (!d.discPresent)
        return false;
    for (const SimVolume& v : d.volumes)
        if (v.mounted)
            return true;
    return false;
}

Status SimDriveRules::plug(SimMachineState& s, SimDrive drive, QString& log, QString& error)
{
    if (drive.bsdName.isEmpty()) {
        int n = 0;
        while (s.drive(QStringLiteral("sr%1").arg(n)))
            ++n;
        drive.bsdName = QStringLiteral("sr%1").arg(n);
    } else if (s.drive(drive.bsdName)) {
        error = QStringLiteral("a drive named %1 is already plugged in").arg(drive.bsdName);
        return IOReturn::Busy;
    }
    if (drive.guid.isEmpty())
        drive.guid = QUuid::createUuid().toRfc4122();  // 16 bytes, never reused
    for (SimVolume& v : drive.volumes)
        if (v.mountPoint.isEmpty())
            v.mountPoint = defaultMountPoint(v.bsdName);
    s.drives.append(drive);
    log = QStringLiteral("plug %1 guid=%2 %3 %4 %5 %6")
              .arg(drive.bsdName, QString::fromLatin1(drive.guid.toHex()), quoted(drive.vendor), quoted(drive.product),
                   quoted(drive.revision), drive.interconnect);
    return {};
}

Status SimDriveRules::unplug(SimMachineState& s, const QString& bsdName, QString& log, QString& error)
{
    for (qsizetype i = 0; i < s.drives.size(); ++i) {
        if (s.drives[i].bsdName == bsdName) {
            s.drives.removeAt(i);
            log = QStringLiteral("unplug %1").arg(bsdName);
            return {};
        }
    }
    error = QStringLiteral("no drive named %1").arg(bsdName);
    return IOReturn::NoDevice;
}

Status SimDriveRules::insertDisc(SimDrive& d, const QList<SimVolume>& volumes, QString& log, QString& error)
{
    if (d.discPresent) {
        error = QStringLiteral("%1 already holds a disc").arg(d.bsdName);
        return IOReturn::Busy;
    }
    if (!d.slotLoading && !d.trayOpen) {
        error = QStringLiteral("the tray of %1 is closed: pull it out first").arg(d.bsdName);
        return IOReturn::Busy;
    }
    d.discPresent = true;
    d.volumes = volumes;
    if (d.volumes.isEmpty())
        d.volumes.append({d.bsdName, QString(), false, false});
    QStringList names;
    for (SimVolume& v : d.volumes) {
        v.mounted = false;
        v.busy = false;
        if (v.mountPoint.isEmpty())
            v.mountPoint = defaultMountPoint(v.bsdName);
        names << v.bsdName;
    }
    log = QStringLiteral("insert-disc %1 volumes=%2").arg(d.bsdName, names.join(QLatin1Char(',')));
    return {};
}

Status SimDriveRules::removeDisc(SimDrive& d, QString& log, QString& error)
{
    if (!d.discPresent) {
        error = QStringLiteral("%1 holds no disc").arg(d.bsdName);
        return IOReturn::NoDevice;
    }
    if (!d.slotLoading && !d.trayOpen) {
        error = QStringLiteral("the tray of %1 is closed").arg(d.bsdName);
        return IOReturn::Busy;
    }
    if (hasMountedVolume(d)) {
        error = QStringLiteral("the disc in %1 is mounted").arg(d.bsdName);
        return VolumeStatus::Busy;
    }
    d.discPresent = false;
    d.volumes.clear();
    log = QStringLiteral("remove-disc %1").arg(d.bsdName);
    return {};
}

Status SimDriveRules::mount(SimDrive& d, const QString& volume, QString& log, QString& error)
{
    if (!d.discPresent || (d.trayOpen && !d.slotLoading)) {
        error = QStringLiteral("%1 has no disc ready to mount (no disc, or the tray is open)").arg(d.bsdName);
        return IOReturn::NoDevice;
    }
    QStringList done;
    for (SimVolume& v : d.volumes) {
        if (volume.isEmpty() || v.bsdName == volume) {
            v.mounted = true;
            done << v.bsdName;
        }
    }
    if (done.isEmpty()) {
        error = QStringLiteral("the disc in %1 has no volume %2").arg(d.bsdName, volume);
        return VolumeStatus::NotFound;
    }
    log = QStringLiteral("mount %1").arg(done.join(QLatin1Char(',')));
    return {};
}

Status SimDriveRules::setBusy(SimMachineState& s, const QString& volumeBSDName, bool busy, QString& log,
                              QString& error)
{
    for (SimDrive& d : s.drives) {
        if (!d.discPresent)
            continue;
        for (SimVolume& v : d.volumes) {
            if (v.bsdName != volumeBSDName)
                continue;
            if (busy && !v.mounted) {
                error = QStringLiteral("%1 is not mounted").arg(volumeBSDName);
                return VolumeStatus::NotFound;
            }
            v.busy = busy;
            log = QStringLiteral("%1 %2").arg(busy ? QStringLiteral("busy") : QStringLiteral("idle"), volumeBSDName);
            return {};
        }
    }
    error = QStringLiteral("no volume named %1 on a disc").arg(volumeBSDName);
    return VolumeStatus::NotFound;
}

Status SimDriveRules::moveTrayByHand(SimDrive& d, bool open, QString& log, QString& error)
{
    if (d.slotLoading) {
        error = QStringLiteral("%1 is a slot loader: it has no tray").arg(d.bsdName);
        return IOReturn::Unsupported;
    }
    if (open && hasMountedVolume(d)) {
        error = QStringLiteral("the tray of %1 is locked: its disc is mounted").arg(d.bsdName);
        return IOReturn::Busy;
    }
    d.trayOpen = open;
    log = QStringLiteral("%1 %2").arg(open ? QStringLiteral("tray-pulled-out") : QStringLiteral("tray-pushed-in"),
                                      d.bsdName);
    return {};
}

Status SimDriveRules::commandTray(SimDrive& d, bool open, QString& log, QString& error)
{
    const QString verb = (open ? QStringLiteral("tray-open ") : QStringLiteral("tray-close ")) + d.bsdName;
    if (d.slotLoading || !d.trayMotor) {
        error = QStringLiteral("%1 has no motorised tray").arg(d.bsdName);
        log = verb + QStringLiteral(" refused no-motor");
        return IOReturn::Unsupported;
    }
    if (open && hasMountedVolume(d)) {
        error = QStringLiteral("the disc in %1 is mounted").arg(d.bsdName);
        log = verb + QStringLiteral(" refused mounted");
        return IOReturn::Busy;
    }
    d.trayOpen = open;
    log = verb;
    return {};
}

Status SimDriveRules::ejectDisc(SimDrive& d, QString& log, QString& error)
{
    QStringList lines;
    Status outcome;
    for (SimVolume& v : d.volumes) {
        if (!d.discPresent || !v.mounted)
            continue;
        if (v.busy) {
            lines << QStringLiteral("unmount %1 refused busy").arg(v.bsdName);
            error = QStringLiteral("%1 is in use").arg(v.bsdName);
            outcome = VolumeStatus::Busy;
            break;
        }
        v.mounted = false;
        lines << QStringLiteral("unmount %1").arg(v.bsdName);
    }
    if (outcome.ok()) {
        if (d.slotLoading) {
            if (d.discPresent)
                lines << QStringLiteral("eject %1 disc-out").arg(d.bsdName);
            d.discPresent = false;
            d.volumes.clear();
        } else if (!d.trayMotor) {
            lines << QStringLiteral("eject %1 refused no-motor").arg(d.bsdName);
            error = QStringLiteral("%1 has no motorised tray").arg(d.bsdName);
            outcome = IOReturn::Unsupported;
        } else {
            d.trayOpen = true;
            lines << QStringLiteral("eject %1 tray-open").arg(d.bsdName);
        }
    }
    log = lines.join(QLatin1Char('\n'));
    return outcome;
}

}  // namespace qn::hardware
