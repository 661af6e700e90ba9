// SPDX-License-Identifier: MIT
// src/platform/hardware/linux: the drive registry over udev, the kernel's CD-ROM ioctls, the mount table and udisks2.
#pragma once
// Device registry over udev and the kernel's CD-ROM interface.
//
// Drives are block devices of type "disk" with ID_CDROM=1 (read-only drives
// included: they have trays too). Property table:
//   identity       ID_SERIAL, else ID_PATH, else the sysfs path (UTF-8 bytes)
//   vendor/product/revision  sysfs device/vendor, device/model, device/rev
//                  (trimmed), else ID_VENDOR, ID_MODEL, ID_REVISION
//   interconnect   ID_BUS: ata "ATAPI", usb "USB", scsi "SCSI",
//                  ieee1394 "FireWire", anything else as given
//   CD mask        bit 0 ID_CDROM (reads CDs), 1 ID_CDROM_CD_R, 2 ID_CDROM_CD_RW,
//                  3 ID_CDROM_MRW, 4 ID_CDROM_MRW_W
//   DVD mask       bit 0 ID_CDROM_DVD, 1 _DVD_R, 2 _DVD_RW, 3 _DVD_RAM,
//                  4 _DVD_PLUS_R, 5 _DVD_PLUS_RW, 6 _DVD_PLUS_R_DL,
//                  7 _DVD_PLUS_RW_DL, 8 _DVD_R_DL (each ID_CDROM_... = 1)
// Tray: the node is opened O_RDONLY|O_NONBLOCK only, since a blocking open of
// a CD-ROM node closes the tray, and at most once at a time per process: the
// tray interface, the disc query and the eject share one descriptor, because
// the kernel refuses CDROMEJECT while the drive is open more than once. Volumes: /proc/self/mountinfo; unmount
// through udisks2, or umount2() when allowed (root) and udisks2 is absent.
// A user who may not open the node (EACCES/EPERM: IOReturn::NotPrivileged)
// can still have udisks2 eject the drive when its policy allows it.
#include "hardware/DeviceRegistry.h"
#include "hardware/linux/HardwareRoot.h"

#include <QMap>

#include <memory>

namespace qn::hardware {

struct MountEntry;

class LinuxDeviceRegistry : public DeviceRegistry {
    Q_OBJECT
public:
    struct Options {
        HardwareRoot root;
        QString udisksBusAddress;  // empty: the system bus
        bool allowUmount2;         // unmount directly when udisks2 is absent
        Options();                 // allowUmount2 = running as root
    };

    LinuxDeviceRegistry();
    explicit LinuxDeviceRegistry(Options options);
    ~LinuxDeviceRegistry() override;

    QString backendName() const override { return QStringLiteral("linux"); }
    bool startWatching() override;
    void stopWatching() override;
    QList<QVariantMap> matchingDrives() override;
    EntryId findDriveByIdentity(const QByteArray& guid) override;
    std::unique_ptr<TrayInterface> openTrayInterface(const EntryId& entry, IOReturn* status = nullptr) override;
    std::optional<QString> discBSDName(const EntryId& entry) override;
    /// Unmounts the drive's volumes (as ejectVolume() does), then udisks2's
    /// Drive.Eject.
    Status ejectThroughDiskService(const EntryId& entry) override;
    DeviceNode deviceNode(const EntryId& entry) override;
    std::optional<VolumeRef> volumeAtIndex(int index) override;
    std::optional<QString> volumeDeviceName(VolumeRef ref) override;
    Status ejectVolume(VolumeRef ref) override;

    /// The property table for a drive from its udev properties, its sysfs
    /// path, kernel name and the inquiry strings read from sysfs ("vendor",
    /// "model", "rev"; missing or blank ones fall back to udev).
    static QVariantMap propertiesFrom(const QMap<QString, QString>& udevProperties, const QString& sysPath,
                                      const QString& kernelName, const QMap<QString, QString>& inquiry);

    /// Unmounts one mount (udisks2, then umount2 when allowed); Success or
    /// why not.
    VolumeStatus unmount(const MountEntry& entry);

private:
    /// Unmounts every mount of disk `disk` or its partitions; the first
    /// refusal ends it.
    VolumeStatus unmountDisk(const QString& disk, const QList<MountEntry>& table);
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace qn::hardware
