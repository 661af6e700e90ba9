// SPDX-License-Identifier: MIT
#include "hardware/DeviceRegistry.h"

#include "hardware/linux/LinuxDeviceRegistry.h"
#include "hardware/sim/SimDeviceRegistry.h"
#include "hardware/sim/SimMachine.h"

#include <cerrno>

namespace qn::hardware {

std::unique_ptr<DeviceRegistry> DeviceRegistry::create()
{
    // The only place where the backend is chosen.
    const QString simulated = simulatedMachinePath();
    if (!simulated.isEmpty())
        return std::make_unique<SimDeviceRegistry>(simulated);
    return std::make_unique<LinuxDeviceRegistry>();
}

DeviceRegistry& DeviceRegistry::instance()
{
    static std::unique_ptr<DeviceRegistry> registry = create();
    return *registry;
}

Status DeviceRegistry::ejectThroughDiskService(const EntryId&)
{
    return IOReturn::Unsupported;
}

DeviceNode DeviceRegistry::deviceNode(const EntryId&)
{
    return {};
}

void DeviceRegistry::note(const QString&) {}

IOReturn statusFromErrno(int error)
{
    switch (error) {
    case 0:
        return IOReturn::Success;
    case EBUSY:
        return IOReturn::Busy;
    case ENOSYS:
    case ENOTTY:
    case EOPNOTSUPP:
        return IOReturn::Unsupported;
    case EPERM:
    case EACCES:
        return IOReturn::NotPrivileged;
    case ENODEV:
    case ENXIO:
    case ENOENT:
    case ENOMEDIUM:
        return IOReturn::NoDevice;
    default:
        return IOReturn::Error;
    }
}

VolumeRef DeviceRegistry::refForVolumeKey(const QString& key)
{
    const auto it = _refByKey.constFind(key);
    if (it != _refByKey.constEnd())
        return *it;
    // References count down from -100 and wrap long before reaching 0, so a
    // reference is never 0 (which means "no volume").
    VolumeRef ref = VolumeRef(_nextRef);
    _nextRef = _nextRef <= -32000 ? -100 : _nextRef - 1;
    const QString old = _keyByRef.value(ref);
    if (!old.isEmpty())
        _refByKey.remove(old);
    _refByKey.insert(key, ref);
    _keyByRef.insert(ref, key);
    return ref;
}

QString DeviceRegistry::volumeKeyForRef(VolumeRef ref) const
{
    return _keyByRef.value(ref);
}

bool deviceBelongsToDisk(const QString& deviceName, const QString& diskName)
{
    if (diskName.isEmpty() || !deviceName.startsWith(diskName))
        return false;
    if (deviceName.size() == diskName.size())
        return true;
    qsizetype i = diskName.size();
    // A disk whose name ends in a digit numbers its partitions after a
    // separator ("sr0p1", "nvme0n1p2", "disk1s2"); otherwise directly ("sda1").
    if (diskName.back().isDigit()) {
        const QChar sep = deviceName.at(i);
        if (sep != QLatin1Char('p') && sep != QLatin1Char('s'))
            return false;
        ++i;
    }
    if (i >= deviceName.size())
        return false;
    for (; i < deviceName.size(); ++i)
        if (!deviceName.at(i).isDigit())
            return false;
    return true;
}

}  // namespace qn::hardware
