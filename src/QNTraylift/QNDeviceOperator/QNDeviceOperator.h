#pragma once
// QNDeviceOperator: acts on one physical drive, found again in the registry
// by its record's identity: reads whether the tray is open, opens or closes
// it, and ejects the mounted disc (unmount, then physical eject).
//
// Tray operations return a signed 32-bit status: 0 success;
// qn::hardware::kIOReturnError when the drive reports a tray state other than
// closed or open; otherwise the drive interface's own non-zero status.
// Every call is synchronous and may block as long as the drive takes.
#include "QNDevice.h"

#include <QString>

#include <memory>
#include <optional>

namespace qn::hardware {
class DeviceRegistry;
class TrayInterface;
}

class QNDeviceOperator {
public:
    /// Tray states written by getTrayState().
    static constexpr quint8 kTrayClosed = 0;
    static constexpr quint8 kTrayOpen = 1;

    /// An operator for the drive, with its tray interface open for the
    /// operator's lifetime; null when the record has no identity, the drive is
    /// gone or its interface cannot be opened (treat as an unknown tray state).
    static std::shared_ptr<QNDeviceOperator> deviceOperatorForDevice(const QNDevicePtr& device);
    static std::shared_ptr<QNDeviceOperator> deviceOperatorForDevice(const QNDevicePtr& device,
                                                                    qn::hardware::DeviceRegistry& registry);
    ~QNDeviceOperator();
    QNDeviceOperator(const QNDeviceOperator&) = delete;
    QNDeviceOperator& operator=(const QNDeviceOperator&) = delete;

    /// The registry entry of the drive (empty when not found or no identity).
    QString serviceObjectForDevice(const QNDevicePtr& device) const;
    const QNDevicePtr& device() const { return _device; }

    /// Writes 0 (closed) or 1 (open) to `*state` and returns 0; on any
    /// failure returns non-zero and leaves `*state` alone.
    qint32 getTrayState(quint8* state);
    /// Commands the tray open / closed; does not wait beyond the command.
    qint32 setTrayStateToOpen();
    qint32 setTrayStateToClose();
    /// True when nothing of the drive is left mounted: no disc, disc not
    /// mounted, or its volume unmounted and the disc ejected. False when the
    /// eject was refused (for example a busy volume); nothing is retried.
    bool ejectMedia();

    /// The first mounted volume (lowest index) living on the named disk or
    /// one of its partitions; 0 when none.
    static qint16 volumeRefNumForBSDDeviceName(const QString& bsdName);
    static qint16 volumeRefNumForBSDDeviceName(const QString& bsdName, qn::hardware::DeviceRegistry& registry);
    /// The disk device name of a mounted volume ("sr0"); nullopt when unknown.
    static std::optional<QString> bsdDiskNameOfVolume(qint16 volumeRef);
    static std::optional<QString> bsdDiskNameOfVolume(qint16 volumeRef, qn::hardware::DeviceRegistry& registry);

private:
    QNDeviceOperator(qn::hardware::DeviceRegistry& registry, std::unique_ptr<qn::hardware::TrayInterface> interface,
                     QNDevicePtr device);

    std::unique_ptr<qn::hardware::TrayInterface> _interface;
    QNDevicePtr _device;
    qn::hardware::DeviceRegistry* _registry;
};
