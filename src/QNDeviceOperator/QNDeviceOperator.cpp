// SPDX-License-Identifier: MIT
#include "QNDeviceOperator.h"

#include "hardware/DeviceRegistry.h"

#include <QDeadlineTimer>
#include <QThread>

using qn::hardware::DeviceRegistry;
using qn::hardware::IOReturn;
using qn::hardware::VolumeStatus;

QNDeviceOperator::QNDeviceOperator(DeviceRegistry& registry, std::unique_ptr<qn::hardware::TrayInterface> interface,
                                   QNDevicePtr device)
    : _interface(std::move(interface)), _device(std::move(device)), _registry(&registry)
{
}

QNDeviceOperator::~QNDeviceOperator() = default;

std::shared_ptr<QNDeviceOperator> QNDeviceOperator::deviceOperatorForDevice(const QNDevicePtr& device)
{
    return deviceOperatorForDevice(device, DeviceRegistry::instance());
}

std::shared_ptr<QNDeviceOperator> QNDeviceOperator::deviceOperatorForDevice(const QNDevicePtr& device,
                                                                          DeviceRegistry& registry)
{
    return deviceOperatorForDevice(device, registry, Access::NodeOnly);
}

std::shared_ptr<QNDeviceOperator> QNDeviceOperator::deviceOperatorForDevice(const QNDevicePtr& device, Access access)
{
    return deviceOperatorForDevice(device, DeviceRegistry::instance(), access);
}

std::shared_ptr<QNDeviceOperator> QNDeviceOperator::deviceOperatorForDevice(const QNDevicePtr& device,
                                                                          DeviceRegistry& registry, Access access)
{
    if (!device || device->GUIDData().isEmpty())
        return nullptr;
    const QString entry = registry.findDriveByIdentity(device->GUIDData());
    if (entry.isEmpty())
        return nullptr;
    IOReturn status = IOReturn::Success;
    std::unique_ptr<qn::hardware::TrayInterface> interface = registry.openTrayInterface(entry, &status);
    if (!interface && !(access == Access::NodeOrDiskService && status == IOReturn::NotPrivileged))
        return nullptr;
    return std::shared_ptr<QNDeviceOperator>(new QNDeviceOperator(registry, std::move(interface), device));
}

qn::hardware::DeviceNode QNDeviceOperator::deviceNode() const
{
    const QString entry = serviceObjectForDevice(_device);
    return entry.isEmpty() ? qn::hardware::DeviceNode{} : _registry->deviceNode(entry);
}

QString QNDeviceOperator::serviceObjectForDevice(const QNDevicePtr& device) const
{
    if (!device || device->GUIDData().isEmpty())
        return {};
    return _registry->findDriveByIdentity(device->GUIDData());
}

IOReturn QNDeviceOperator::readTrayState(quint8* state)
{
    if (!_interface)
        return IOReturn::NotPrivileged;
    quint8 reported = 0;
    IOReturn status = _interface->getTrayState(reported);
    // A drive spinning up a freshly inserted disc cannot say yet; ask again
    // for a bounded while instead of failing the key press.
    if (status == IOReturn::NotReady) {
        QDeadlineTimer deadline(kNotReadyWaitMs);
        while (status == IOReturn::NotReady && !deadline.hasExpired()) {
            QThread::msleep(100);
            status = _interface->getTrayState(reported);
        }
    }
    if (status != IOReturn::Success)
        return status;  // the drive's own code included
    if (reported != kTrayClosed && reported != kTrayOpen)
        return IOReturn::Error;
    if (state)
        *state = reported;
    return IOReturn::Success;
}

IOReturn QNDeviceOperator::commandTray(quint8 open)
{
    return _interface ? _interface->setTrayState(open) : IOReturn::NotPrivileged;
}

qint32 QNDeviceOperator::getTrayState(quint8* state)
{
    return qint32(readTrayState(state));
}

qint32 QNDeviceOperator::setTrayStateToOpen()
{
    return qint32(commandTray(1));
}

qint32 QNDeviceOperator::setTrayStateToClose()
{
    return qint32(commandTray(0));
}

bool QNDeviceOperator::ejectMedia()
{
    const QString entry = serviceObjectForDevice(_device);
    if (entry.isEmpty())
        return true;
    const std::optional<QString> disc = _registry->discBSDName(entry);
    if (!disc)
        return true;
    const qint16 volume = volumeRefNumForBSDDeviceName(*disc, *_registry);
    if (volume == 0)
        return true;
    return _registry->ejectVolume(volume).ok();
}

qint16 QNDeviceOperator::volumeRefNumForBSDDeviceName(const QString& bsdName)
{
    return volumeRefNumForBSDDeviceName(bsdName, DeviceRegistry::instance());
}

qint16 QNDeviceOperator::volumeRefNumForBSDDeviceName(const QString& bsdName, DeviceRegistry& registry)
{
    if (bsdName.isEmpty())
        return 0;
    for (int index = 1;; ++index) {
        const std::optional<qn::hardware::VolumeRef> ref = registry.volumeAtIndex(index);
        if (!ref)
            return 0;
        const std::optional<QString> name = bsdDiskNameOfVolume(*ref, registry);
        // The disk itself or one of its partitions; a mere common prefix
        // ("sr1" and "sr10") is another drive.
        if (name && qn::hardware::deviceBelongsToDisk(*name, bsdName))
            return *ref;
    }
}

std::optional<QString> QNDeviceOperator::bsdDiskNameOfVolume(qint16 volumeRef)
{
    return bsdDiskNameOfVolume(volumeRef, DeviceRegistry::instance());
}

std::optional<QString> QNDeviceOperator::bsdDiskNameOfVolume(qint16 volumeRef, DeviceRegistry& registry)
{
    if (volumeRef == 0)
        return std::nullopt;
    return registry.volumeDeviceName(volumeRef);
}

bool QNDeviceOperator::hasDisc() const
{
    const QString entry = serviceObjectForDevice(_device);
    return !entry.isEmpty() && _registry->discBSDName(entry).has_value();
}

bool QNDeviceOperator::discStillMounted() const
{
    const QString entry = serviceObjectForDevice(_device);
    if (entry.isEmpty())
        return false;
    const std::optional<QString> disc = _registry->discBSDName(entry);
    return disc && volumeRefNumForBSDDeviceName(*disc, *_registry) != 0;
}

QNDeviceOperator::TrayOutcome QNDeviceOperator::toggleTray()
{
    if (!_interface)
        return ejectThroughDiskService();
    quint8 state = kTrayClosed;
    if (readTrayState(&state) != IOReturn::Success)
        return TrayOutcome::Failed;
    if (state == kTrayOpen) {
        const IOReturn status = commandTray(0);
        if (status == IOReturn::Success)
            return TrayOutcome::Closed;
        return status == IOReturn::Unsupported ? TrayOutcome::NotSupported : TrayOutcome::NotClosed;
    }
    const bool discBefore = hasDisc();
    const bool unmounted = ejectMedia();
    if (readTrayState(&state) != IOReturn::Success)
        return TrayOutcome::Failed;
    if (state == kTrayOpen)
        return TrayOutcome::OpenedByDiscEject;
    if (discBefore && unmounted && !hasDisc())
        return TrayOutcome::DiscEjected;
    const IOReturn status = commandTray(1);
    if (status == IOReturn::Success)
        return TrayOutcome::Opened;
    if (status == IOReturn::Unsupported)
        return TrayOutcome::NotSupported;
    // The drive itself says it is in use when a program holds it open or a
    // volume we could not attribute to it is mounted.
    if (status == IOReturn::Busy || (discBefore && (!unmounted || discStillMounted())))
        return TrayOutcome::Busy;
    return TrayOutcome::Refused;
}

QNDeviceOperator::CloseOutcome QNDeviceOperator::closeTrayIfOpen()
{
    if (!_interface)
        return CloseOutcome::NotPermitted;
    quint8 state = kTrayClosed;
    if (readTrayState(&state) != IOReturn::Success)
        return CloseOutcome::Failed;
    if (state != kTrayOpen)
        return CloseOutcome::ReadsClosed;
    commandTray(0);
    return CloseOutcome::Closed;
}

QNDeviceOperator::TrayOutcome QNDeviceOperator::ejectThroughDiskService()
{
    // Without the node the tray state is unknown: an open tray stays open
    // (ejecting it again does nothing), a closed one opens.
    const QString entry = serviceObjectForDevice(_device);
    if (entry.isEmpty())
        return TrayOutcome::Failed;
    const qn::hardware::Status status = _registry->ejectThroughDiskService(entry);
    if (status.ok())
        return TrayOutcome::Opened;
    if (status == IOReturn::NotPrivileged || status == IOReturn::Unsupported)
        return TrayOutcome::NotPermitted;
    const bool busy = status == VolumeStatus::Busy || status == IOReturn::Busy;
    return busy ? TrayOutcome::Busy : TrayOutcome::Refused;
}
