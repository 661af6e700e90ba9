// SPDX-License-Identifier: MIT
// src/QNDeviceOperator: libQNDeviceOperator: drive records, the drive scanner, the shared tray decisions.
#pragma once
// QNDeviceOperator: acts on one physical drive, found again in the registry
// by its record's identity: reads whether the tray is open, opens or closes
// it, and ejects the mounted disc (unmount, then physical eject).
//
// Tray operations return a signed 32-bit status: 0 success;
// qn::hardware::IOReturn::Error (kIOReturnError, 0xE00002BC) when the drive
// reports a tray state other than closed or open; IOReturn::NotPrivileged when
// this user may not use the drive's node; otherwise the drive interface's own
// non-zero status, passed through unchanged. Callers compare it with 0.
// Every call is synchronous and may block as long as the drive takes.
#include "QNDevice.h"

#include <QString>

#include <memory>
#include <optional>

namespace qn::hardware {
enum class IOReturn : qint32;
class DeviceRegistry;
class TrayInterface;
struct DeviceNode;
}

class QNDeviceOperator {
public:
    /// Tray states written by getTrayState().
    static constexpr quint8 kTrayClosed = 0;
    static constexpr quint8 kTrayOpen = 1;

    /// What toggleTray() did.
    enum class TrayOutcome {
        Failed,             // no answer from the drive; nothing was done to the tray
        Closed,             // the tray was open and has been closed
        Opened,             // the tray was closed and has been opened
        OpenedByDiscEject,  // ejecting the disc opened the tray
        DiscEjected,        // the disc went out and no tray opened (a slot loader)
        Busy,               // the disc's volumes could not be unmounted, or the drive is in use: the tray stays shut
        NotSupported,       // the drive refuses tray commands: no tray motor
        Refused,            // the tray did not open for another reason (drive not ready, drive error)
        NotClosed,          // the tray was open and the close command failed
        NotPermitted,       // this user may not use the drive, and the disk service did not eject it either
    };
    /// True for the outcomes after which the tray stands open.
    static bool trayOpened(TrayOutcome outcome)
    {
        return outcome == TrayOutcome::Opened || outcome == TrayOutcome::OpenedByDiscEject;
    }
    /// What closeTrayIfOpen() did.
    enum class CloseOutcome {
        Failed,       // the tray state could not be read
        Closed,       // the tray read open and the close command was sent
        ReadsClosed,  // the tray already reads closed: nothing sent, worth asking again later
        NotPermitted, // this user may not use the drive: its state cannot be read nor the tray closed
    };
    /// The deadline rule: callers ask closeTrayIfOpen() again after
    /// kCloseRecheckMs while it answers ReadsClosed, at most kMaxCloseRechecks
    /// times, then give up.
    static constexpr int kCloseRecheckMs = 500;
    static constexpr int kMaxCloseRechecks = 5;
    /// How long a drive that reports "not ready" (a disc spinning up) is asked
    /// again before its tray state counts as unreadable.
    static constexpr int kNotReadyWaitMs = 3000;

    /// An operator for the drive, with its tray interface open for the
    /// operator's lifetime; null when the record has no identity, the drive is
    /// gone or its interface cannot be opened (treat as an unknown tray state).
    static std::shared_ptr<QNDeviceOperator> deviceOperatorForDevice(const QNDevicePtr& device);
    static std::shared_ptr<QNDeviceOperator> deviceOperatorForDevice(const QNDevicePtr& device,
                                                                    qn::hardware::DeviceRegistry& registry);

    /// Whether an operator may be made for a drive whose node this user may
    /// not open. Such an operator has no tray interface: its tray queries and
    /// commands answer IOReturn::NotPrivileged, closeTrayIfOpen() answers
    /// NotPermitted, and toggleTray() asks the system's disk service to eject
    /// the drive instead (NotPermitted when that is refused too).
    enum class Access { NodeOnly, NodeOrDiskService };
    static std::shared_ptr<QNDeviceOperator> deviceOperatorForDevice(const QNDevicePtr& device, Access access);
    static std::shared_ptr<QNDeviceOperator> deviceOperatorForDevice(const QNDevicePtr& device,
                                                                    qn::hardware::DeviceRegistry& registry,
                                                                    Access access);
    /// False for an operator made without access to the drive's node.
    bool hasNodeAccess() const { return _interface != nullptr; }
    /// The drive's node and its owning group (for telling the user).
    qn::hardware::DeviceNode deviceNode() const;
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

    /// The eject button: an open tray is closed; a closed tray has its disc
    /// unmounted and ejected and is opened. Busy is answered when a disc is
    /// present and its volumes could not be unmounted (or the open command was
    /// refused while they stay mounted), or when the drive refuses the open
    /// command because it is in use; NotSupported when the drive refuses the
    /// command for lack of a motor (a slot loader with no disc, or a tray
    /// without motor). Made without node access: see Access.
    TrayOutcome toggleTray();
    /// Closes the tray when it reads open; see CloseOutcome.
    CloseOutcome closeTrayIfOpen();
    /// True while a disc is in the drive (from the registry).
    bool hasDisc() const;

    /// The first mounted volume (lowest index) living on the named disk or
    /// one of its partitions; 0 when none.
    static qint16 volumeRefNumForBSDDeviceName(const QString& bsdName);
    static qint16 volumeRefNumForBSDDeviceName(const QString& bsdName, qn::hardware::DeviceRegistry& registry);
    /// The disk device name of a mounted volume ("sr0"); nullopt when unknown.
    static std::optional<QString> bsdDiskNameOfVolume(qint16 volumeRef);
    static std::optional<QString> bsdDiskNameOfVolume(qint16 volumeRef, qn::hardware::DeviceRegistry& registry);

private:
    // The tray operations with their typed status; the public ones return its
    // number.
    qn::hardware::IOReturn readTrayState(quint8* state);
    qn::hardware::IOReturn commandTray(quint8 open);
    bool discStillMounted() const;
    TrayOutcome ejectThroughDiskService();
    QNDeviceOperator(qn::hardware::DeviceRegistry& registry, std::unique_ptr<qn::hardware::TrayInterface> interface,
                     QNDevicePtr device);

    std::unique_ptr<qn::hardware::TrayInterface> _interface;  // null: made without node access
    QNDevicePtr _device;
    qn::hardware::DeviceRegistry* _registry;
};
