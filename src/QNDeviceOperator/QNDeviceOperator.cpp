// SPDX-License-Identifier: MIT
#include "QNDeviceOperator.h"

#include "hardware/DeviceRegistry.h"

#include <QDeadlineTimer>
#include <QThread>

using qn::hardware::DeviceRegistry;

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
    qint32 status = 0;
    std::unique_ptr<qn::hardware::TrayInterface> interface = registry.openTrayInterface(entry, &status);
    if (!interface && !(access == Access::NodeOrDiskService && status == qn::hardware::kIOReturnNotPrivileged))
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

qint32 QNDeviceOperator::getTrayState(quint8* state)
{
    if (!_interface)
        return qn::hardware::kIOReturnNotPrivileged;
    quint8 reported = 0;
    qint32 status = _interface->getTrayState(reported);
    // A drive spinning up a freshly inserted disc cannot say yet; ask again
    // for a bounded while instead of failing the key press.
    if (status == qn::hardware::kIOReturnNotReady) {
        QDeadlineTimer deadline(kNotReadyWaitMs);
        while (status == qn::hardware::kIOReturnNotReady && !deadline.hasExpired()) {
            QThread::msleep(100);
            status = _interface->getTrayState(reported);
        }
    }
    if (status != 0)
        return status;
    if (reported != kTrayClosed && reported != kTrayOpen)
        return qn::hardware::kIOReturnError;
    if (state)
        *state = reported;
    return 0;
}

qint32 QNDeviceOperator::setTrayStateToOpen()
{
    return _interface ? _interface->setTrayState(1) : qn::hardware::kIOReturnNotPrivileged;
}

qint32 QNDeviceOperator::setTrayStateToClose()
{
    return _interface ? _interface->setTrayState(0) : qn::hardware::kIOReturnNotPrivileged;
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
    return _registry->ejectVolume(volume) == 0;
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
    if (getTrayState(&state) != 0)
        return TrayOutcome::Failed;
    if (state == kTrayOpen) {
        const qint32 status = setTrayStateToClose();
        if (status == 0)
            return TrayOutcome::Closed;
        return status == qn::hardware::kIOReturnUnsupported ? TrayOutcome::NotSupported : TrayOutcome::Refused;
    }
    const bool discBefore = hasDisc();
    const bool unmounted = ejectMedia();
    if (getTrayState(&state) != 0)
        return TrayOutcome::Failed;
    if (state == kTrayOpen)
        return TrayOutcome::OpenedByDiscEject;
    if (discBefore && unmounted && !hasDisc())
        return TrayOutcome::DiscEjected;
    const qint32 status = setTrayStateToOpen();
    if (status == 0)
        return TrayOutcome::Opened;
    if (status == qn::hardware::kIOReturnUnsupported)
        return TrayOutcome::NotSupported;
    if (discBefore && (!unmounted || discStillMounted()))
        return TrayOutcome::Busy;
    return TrayOutcome::Refused;
}

QNDeviceOperator::CloseOutcome QNDeviceOperator::closeTrayIfOpen()
{
    if (!_interface)
        return CloseOutcome::NotPermitted;
    quint8 state = kTrayClosed;
    if (getTrayState(&state) != 0)
        return CloseOutcome::Failed;
    if (state != kTrayOpen)
        return CloseOutcome::ReadsClosed;
    setTrayStateToClose();
    return CloseOutcome::Closed;
}

QNDeviceOperator::TrayOutcome QNDeviceOperator::ejectThroughDiskService()
{
    // Without the node the tray state is unknown: an open tray stays open
    // (ejecting it again does nothing), a closed one opens.
    const QString entry = serviceObjectForDevice(_device);
    if (entry.isEmpty())
        return TrayOutcome::Failed;
    switch (const qint32 status = _registry->ejectThroughDiskService(entry)) {
    case 0:
        return TrayOutcome::Opened;
    case qn::hardware::kIOReturnNotPrivileged:
    case qn::hardware::kIOReturnUnsupported:
        return TrayOutcome::NotPermitted;
    default:
        const bool busy = status == qn::hardware::kVolumeBusyErr || status == qn::hardware::kIOReturnBusy;
        return busy ? TrayOutcome::Busy : TrayOutcome::Refused;
    }
}
