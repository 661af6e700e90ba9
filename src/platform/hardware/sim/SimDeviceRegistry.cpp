// SPDX-License-Identifier: MIT
#include "hardware/sim/SimDeviceRegistry.h"

#include <QFileInfo>

namespace qn::hardware {

namespace {

// A drive replugged under the same name with another identity is another drive.
QString driveKey(const SimDrive& d)
{
    return d.bsdName + QLatin1Char('|') + QString::fromLatin1(d.guid.toHex());
}

class SimTray : public TrayInterface {
public:
    SimTray(SimMachine& machine, QString bsdName) : _machine(machine), _bsdName(std::move(bsdName)) {}

    IOReturn getTrayState(quint8& state) override
    {
        const std::optional<SimMachineState> s = _machine.read();
        const SimDrive* d = s ? s->drive(_bsdName) : nullptr;
        if (!d)
            return IOReturn::NoDevice;
        state = d->reportedTrayState ? quint8(*d->reportedTrayState) : quint8(d->trayOpen ? 1 : 0);
        return IOReturn::Success;
    }

    // A tray command fails only with drive codes (the drive's refusal, or
    // Error when the machine file cannot be read or written).
    IOReturn setTrayState(quint8 open) override { return IOReturn(_machine.commandTray(_bsdName, open != 0).code()); }

private:
    SimMachine& _machine;
    QString _bsdName;
};

}  // namespace

SimDeviceRegistry::SimDeviceRegistry(QString machinePath) : _machine(std::move(machinePath)) {}

SimDeviceRegistry::~SimDeviceRegistry() = default;

bool SimDeviceRegistry::startWatching()
{
    if (_watchers++ > 0)
        return true;
    _watcher = std::make_unique<QFileSystemWatcher>();
    // The file is replaced on every save, so the folder is watched too.
    connect(_watcher.get(), &QFileSystemWatcher::directoryChanged, this, [this] { sync(); });
    connect(_watcher.get(), &QFileSystemWatcher::fileChanged, this, [this] { sync(); });
    rewatch();
    const std::optional<SimMachineState> s = _machine.read();
    _seen = s ? s->drives : QList<SimDrive>();
    return true;
}

void SimDeviceRegistry::stopWatching()
{
    if (_watchers == 0 || --_watchers > 0)
        return;
    _watcher.reset();
    _seen.clear();
}

void SimDeviceRegistry::rewatch()
{
    if (!_watcher)
        return;
    const QFileInfo info(_machine.path());
    const QString dir = info.absolutePath();
    if (!_watcher->directories().contains(dir))
        _watcher->addPath(dir);
    if (info.exists() && !_watcher->files().contains(info.absoluteFilePath()))
        _watcher->addPath(info.absoluteFilePath());
}

void SimDeviceRegistry::sync()
{
    if (!_watcher)
        return;
    rewatch();
    // An unreadable file (removed, or a hand edit gone wrong) changes nothing:
    // drives are not reported gone because of a typo.
    const std::optional<SimMachineState> s = _machine.read();
    if (!s)
        return;
    QSet<QString> now, before;
    for (const SimDrive& d : s->drives)
        now.insert(driveKey(d));
    for (const SimDrive& d : _seen)
        before.insert(driveKey(d));
    QList<QVariantMap> gone, arrived;
    for (const SimDrive& d : _seen)
        if (!now.contains(driveKey(d)))
            gone.append(d.properties());
    for (const SimDrive& d : s->drives)
        if (!before.contains(driveKey(d)))
            arrived.append(d.properties());
    _seen = s->drives;
    if (!gone.isEmpty())
        emit drivesDisappeared(gone);
    if (!arrived.isEmpty())
        emit drivesAppeared(arrived);
}

QList<QVariantMap> SimDeviceRegistry::matchingDrives()
{
    QList<QVariantMap> drives;
    if (_watcher) {
        sync();
        for (const SimDrive& d : _seen)
            drives.append(d.properties());
    } else if (const std::optional<SimMachineState> s = _machine.read()) {
        for (const SimDrive& d : s->drives)
            drives.append(d.properties());
    }
    return drives;
}

EntryId SimDeviceRegistry::findDriveByIdentity(const QByteArray& guid)
{
    if (guid.isEmpty())
        return {};
    if (const std::optional<SimMachineState> s = _machine.read())
        for (const SimDrive& d : s->drives)
            if (d.guid == guid)
                return d.bsdName;
    return {};
}

std::unique_ptr<TrayInterface> SimDeviceRegistry::openTrayInterface(const EntryId& entry, IOReturn* status)
{
    const std::optional<SimMachineState> s = _machine.read();
    if (!s || !s->drive(entry)) {
        if (status)
            *status = IOReturn::NoDevice;
        return nullptr;
    }
    if (status)
        *status = IOReturn::Success;
    return std::make_unique<SimTray>(_machine, entry);
}

std::optional<QString> SimDeviceRegistry::discBSDName(const EntryId& entry)
{
    const std::optional<SimMachineState> s = _machine.read();
    const SimDrive* d = s ? s->drive(entry) : nullptr;
    if (!d || !d->discPresent)
        return std::nullopt;
    return d->bsdName;
}

QList<SimDeviceRegistry::Mounted> SimDeviceRegistry::mountedVolumes() const
{
    QList<Mounted> out;
    const std::optional<SimMachineState> s = _machine.read();
    if (!s)
        return out;
    // The machine's own disks were mounted first, as on a real system.
    for (const SimFixedVolume& v : s->fixedVolumes)
        out.append({v.bsdName + QLatin1Char('|') + v.mountPoint, v.bsdName, QString()});
    for (const SimDrive& d : s->drives) {
        if (!d.discPresent)
            continue;
        for (const SimVolume& v : d.volumes)
            if (v.mounted)
                out.append({v.bsdName + QLatin1Char('|') + v.mountPoint, v.bsdName, d.bsdName});
    }
    return out;
}

std::optional<VolumeRef> SimDeviceRegistry::volumeAtIndex(int index)
{
    const QList<Mounted> volumes = mountedVolumes();
    if (index < 1 || index > volumes.size())
        return std::nullopt;
    return refForVolumeKey(volumes[index - 1].key);
}

std::optional<QString> SimDeviceRegistry::volumeDeviceName(VolumeRef ref)
{
    const QString key = volumeKeyForRef(ref);
    for (const Mounted& m : mountedVolumes())
        if (!key.isEmpty() && m.key == key)
            return m.bsdName;
    return std::nullopt;
}

Status SimDeviceRegistry::ejectVolume(VolumeRef ref)
{
    const QString key = volumeKeyForRef(ref);
    for (const Mounted& m : mountedVolumes()) {
        if (key.isEmpty() || m.key != key)
            continue;
        if (m.drive.isEmpty())
            return VolumeStatus::Busy;  // the machine's own disk cannot be ejected
        return _machine.ejectDisc(m.drive);
    }
    return VolumeStatus::NotFound;
}

void SimDeviceRegistry::note(const QString& text)
{
    _machine.appendLog(text);
}

}  // namespace qn::hardware
