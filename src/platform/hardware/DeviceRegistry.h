// SPDX-License-Identifier: MIT
// src/platform/hardware: the drive registry interface and the one place that chooses its backend.
#pragma once
// The device registry: the optical drives present, their property tables,
// arrival and removal events, tray commands and mounted volumes.
//
// One backend serves the whole process (DeviceRegistry::instance()): udev and
// the kernel's CD-ROM interface on a real machine, or a simulated machine
// described by a JSON file when QNLAB_SIMULATED_HARDWARE names one.
//
// Error convention: operations that act on hardware return a status of
// Status.h, 0 (Success) when they did what was asked. Nothing throws.
#include "hardware/Status.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace qn::hardware {

/// Maps an errno value of a failed drive command to a status (Success for 0).
IOReturn statusFromErrno(int error);

// Keys of a drive's property table (values: QByteArray for the identity,
// QString for texts, uint for the masks, QVariantMap for the two groups).
inline constexpr char kGUIDKey[] = "SCSITaskUserClient GUID";
inline constexpr char kProtocolCharacteristicsKey[] = "Protocol Characteristics";
inline constexpr char kPhysicalInterconnectKey[] = "Physical Interconnect";
inline constexpr char kDeviceCharacteristicsKey[] = "Device Characteristics";
inline constexpr char kVendorNameKey[] = "Vendor Name";
inline constexpr char kProductNameKey[] = "Product Name";
inline constexpr char kProductRevisionLevelKey[] = "Product Revision Level";
inline constexpr char kCDFeaturesKey[] = "CD Features";
inline constexpr char kDVDFeaturesKey[] = "DVD Features";
/// Kernel name of the drive's disk node ("sr0"); present on every entry.
inline constexpr char kBSDNameKey[] = "BSD Name";

/// Handle of a registry entry (a drive). Empty = none.
using EntryId = QString;

/// Volume reference: a non-zero signed 16-bit number naming one mounted
/// volume for the life of the process; 0 = no volume.
using VolumeRef = qint16;

/// The tray command interface of one drive, open for its lifetime.
class TrayInterface {
public:
    virtual ~TrayInterface() = default;
    /// Raw tray state as the drive reports it: 0 closed, 1 open, any other
    /// value means the drive could not say. NotReady when the drive is busy
    /// getting ready (a disc spinning up): worth asking again. `state` is
    /// written only on Success.
    virtual IOReturn getTrayState(quint8& state) = 0;
    /// 1 opens the tray, 0 closes it. Returns once the drive accepted or
    /// refused the command (locked, busy, no motor).
    virtual IOReturn setTrayState(quint8 open) = 0;
};

/// A drive's device node and the group that owns it, for telling a user who
/// may not open it what to do.
struct DeviceNode {
    QString path;   // "/dev/sr0"
    QString group;  // "cdrom"; the number when the group has no name
};

class DeviceRegistry : public QObject {
    Q_OBJECT
public:
    /// The process's registry. The backend is chosen here, once: the
    /// simulated machine when QNLAB_SIMULATED_HARDWARE names a file, udev and
    /// the kernel otherwise. Must first be called on the main thread.
    static DeviceRegistry& instance();
    /// Makes a new registry by the same rule (tests, tools).
    static std::unique_ptr<DeviceRegistry> create();
    /// Name of the backend ("linux" or "sim").
    virtual QString backendName() const = 0;

    // --- Arrival and removal -------------------------------------------------
    /// Starts delivering drivesAppeared/drivesDisappeared on the calling
    /// thread's event loop. Counted: each successful call needs one
    /// stopWatching(). False when no event source can be opened.
    virtual bool startWatching() = 0;
    virtual void stopWatching() = 0;
    /// Property tables of the drives present, in report order. Events not yet
    /// delivered are delivered first, so a caller that connects to the
    /// signals after this call neither misses nor repeats a drive.
    virtual QList<QVariantMap> matchingDrives() = 0;

    // --- One drive -------------------------------------------------------------
    /// The first entry whose identity equals `guid`; empty when none (always
    /// for an empty identity).
    virtual EntryId findDriveByIdentity(const QByteArray& guid) = 0;
    /// Opens the tray interface of an entry; null with `status` set when
    /// the entry is gone or its node cannot be opened.
    virtual std::unique_ptr<TrayInterface> openTrayInterface(const EntryId& entry, IOReturn* status = nullptr) = 0;
    /// Disk name of the disc in the drive ("sr0"); nullopt when no disc.
    virtual std::optional<QString> discBSDName(const EntryId& entry) = 0;
    /// The way out when openTrayInterface() answers NotPrivileged: unmounts
    /// the drive's volumes and asks the system's disk service to eject the
    /// drive; its policy decides. Success when the tray opened; NotPrivileged
    /// when the service refused this user or there is no service;
    /// VolumeStatus::Busy when a volume is in use, IOReturn::Busy when the
    /// drive is. The default (a backend without such a service) answers
    /// IOReturn::Unsupported.
    virtual Status ejectThroughDiskService(const EntryId& entry);
    /// The drive's device node and its owning group; empty when unknown.
    virtual DeviceNode deviceNode(const EntryId& entry);

    // --- Mounted volumes ---------------------------------------------------------
    /// The mounted volume at 1-based position `index`; nullopt past the end.
    virtual std::optional<VolumeRef> volumeAtIndex(int index) = 0;
    /// Disk device name of a mounted volume ("sr0", "sda1"); nullopt when the
    /// volume is unknown or lives on no disk device.
    virtual std::optional<QString> volumeDeviceName(VolumeRef ref) = 0;
    /// Unmounts every volume of the disc that holds `ref`, then ejects the
    /// disc. A volume code when a volume refuses (VolumeStatus::Busy when in
    /// use), a drive code when the eject fails; volumes unmounted before the
    /// failure stay unmounted.
    virtual Status ejectVolume(VolumeRef ref) = 0;

    // --- Tracing -------------------------------------------------------------------
    /// A step of a program using the registry ("agent panel shown"), for
    /// demos and tests that follow a request from end to end. The simulated
    /// machine records it in its event log beside the drive events; the
    /// default ignores it.
    virtual void note(const QString& text);

signals:
    /// Drives that arrived, property tables in report order.
    void drivesAppeared(const QList<QVariantMap>& drives);
    /// Drives that left; each table holds at least kGUIDKey when the drive
    /// had an identity, and kBSDNameKey.
    void drivesDisappeared(const QList<QVariantMap>& drives);

protected:
    /// Stable non-zero reference for a volume key (backend-specific text).
    VolumeRef refForVolumeKey(const QString& key);
    /// The key a reference was made for; empty when unknown.
    QString volumeKeyForRef(VolumeRef ref) const;

private:
    QHash<QString, VolumeRef> _refByKey;
    QHash<VolumeRef, QString> _keyByRef;
    int _nextRef = -100;
};

/// True when `deviceName` is the disk `diskName` itself or one of its
/// partitions: "sr0" -> "sr0", "sr0p1"; "sda" -> "sda", "sda1"; but "sr1"
/// does not own "sr10".
bool deviceBelongsToDisk(const QString& deviceName, const QString& diskName);

}  // namespace qn::hardware
