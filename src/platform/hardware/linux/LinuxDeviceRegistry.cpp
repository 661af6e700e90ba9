// SPDX-License-Identifier: MIT
#include "hardware/linux/LinuxDeviceRegistry.h"

#include "hardware/linux/MountTable.h"
#include "hardware/linux/UDisksUnmounter.h"

#include <QFile>
#include <QHash>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>  // <linux/cdrom.h> needs it first
#include <fcntl.h>
#include <grp.h>
#include <libudev.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace qn::hardware {

namespace {

// Owning handles for libudev objects: each is released by its own unref.
template <typename T, T* (*Unref)(T*)>
struct UdevUnref {
    void operator()(T* p) const { Unref(p); }
};
using UdevPtr = std::unique_ptr<udev, UdevUnref<udev, udev_unref>>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevUnref<udev_device, udev_device_unref>>;
using UdevEnumeratePtr = std::unique_ptr<udev_enumerate, UdevUnref<udev_enumerate, udev_enumerate_unref>>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevUnref<udev_monitor, udev_monitor_unref>>;

// An open drive node, closed with its last user.
struct DriveFd {
    explicit DriveFd(int fd) : fd(fd) {}
    ~DriveFd() { ::close(fd); }
    DriveFd(const DriveFd&) = delete;
    DriveFd& operator=(const DriveFd&) = delete;
    const int fd;
};
using DriveNode = std::shared_ptr<DriveFd>;

QMap<QString, QString> udevProperties(udev_device* dev)
{
    QMap<QString, QString> props;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(dev))
    {
        const char* value = udev_list_entry_get_value(entry);
        props.insert(QString::fromUtf8(udev_list_entry_get_name(entry)), value ? QString::fromUtf8(value) : QString());
    }
    return props;
}

bool isOpticalDisk(udev_device* dev)
{
    const char* type = udev_device_get_devtype(dev);
    const char* cdrom = udev_device_get_property_value(dev, "ID_CDROM");
    return type && qstrcmp(type, "disk") == 0 && cdrom && qstrcmp(cdrom, "1") == 0;
}

QString readTrimmed(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.read(4096)).trimmed();
}

// udev's *_ENC values keep the inquiry bytes, with \xNN for blanks and the like.
QString decodeUdevEnc(const QString& enc)
{
    QByteArray in = enc.toUtf8(), out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int c = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(c));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out).trimmed();
}

IOReturn readTrayState(int fd, quint8& state)
{
    const int r = ::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
    if (r < 0)
        return statusFromErrno(errno);
    if (r == CDS_DRIVE_NOT_READY)
        return IOReturn::NotReady;  // the caller may ask again
    if (r == CDS_TRAY_OPEN)
        state = 1;
    else if (r == CDS_NO_DISC || r == CDS_DISC_OK)
        state = 0;
    else
        state = 2;  // no information
    return IOReturn::Success;
}

IOReturn commandTray(int fd, quint8 open)
{
    if (open) {
        // Another opener may have locked the door; CDROMEJECT reports
        // whether that still stands in the way. The kernel refuses it (EBUSY)
        // unless this is the node's only open, hence one descriptor per drive.
        ::ioctl(fd, CDROM_LOCKDOOR, 0);
        return ::ioctl(fd, CDROMEJECT, 0) < 0 ? statusFromErrno(errno) : IOReturn::Success;
    }
    return ::ioctl(fd, CDROMCLOSETRAY, 0) < 0 ? statusFromErrno(errno) : IOReturn::Success;
}

}  // namespace

struct LinuxDeviceRegistry::Private {
    LinuxDeviceRegistry* q = nullptr;
    Options options;
    UdevPtr u;
    UdevMonitorPtr monitor;
    // Nodes open now: every user of a node shares its one descriptor, so the
    // kernel counts one open of the drive however many uses overlap.
    QHash<QString, std::weak_ptr<DriveFd>> open;
    std::unique_ptr<QSocketNotifier> notifier;
    int watchers = 0;
    struct Known {
        QString sysPath;
        QVariantMap properties;
    };
    QList<Known> known;  // drives reported so far, in report order

    // The one place a drive node is opened. Never a blocking open: on a
    // CD-ROM node it would close the tray.
    DriveNode openDriveNode(const QString& path, IOReturn* status = nullptr)
    {
        if (DriveNode shared = open.value(path).lock()) {
            if (status)
                *status = IOReturn::Success;
            return shared;
        }
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (status)
            *status = fd < 0 ? statusFromErrno(errno) : IOReturn::Success;
        if (fd < 0)
            return nullptr;
        DriveNode node = std::make_shared<DriveFd>(fd);
        open.insert(path, node);
        return node;
    }

    UdevDevicePtr deviceAt(const QString& sysPath) const
    {
        return UdevDevicePtr(u ? udev_device_new_from_syspath(u.get(), sysPath.toUtf8().constData()) : nullptr);
    }

    QVariantMap propertiesOf(udev_device* dev) const
    {
        const QString sysPath = QString::fromUtf8(udev_device_get_syspath(dev));
        QMap<QString, QString> inquiry;
        for (const char* attr : {"vendor", "model", "rev"})
            inquiry.insert(QString::fromLatin1(attr),
                           readTrimmed(options.root.sysPath(sysPath + QStringLiteral("/device/") + QLatin1String(attr))));
        return propertiesFrom(udevProperties(dev), sysPath, QString::fromUtf8(udev_device_get_sysname(dev)), inquiry);
    }

    QList<Known> enumerate() const
    {
        QList<Known> drives;
        const UdevEnumeratePtr e(u ? udev_enumerate_new(u.get()) : nullptr);
        if (!e)
            return drives;
        udev_enumerate_add_match_subsystem(e.get(), "block");
        udev_enumerate_add_match_property(e.get(), "ID_CDROM", "1");
        udev_enumerate_scan_devices(e.get());
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get()))
        {
            const UdevDevicePtr dev(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(entry)));
            if (dev && isOpticalDisk(dev.get()))
                drives.append({QString::fromUtf8(udev_device_get_syspath(dev.get())), propertiesOf(dev.get())});
        }
        return drives;
    }

    qsizetype indexOfKnown(const QString& sysPath) const
    {
        for (qsizetype i = 0; i < known.size(); ++i)
            if (known[i].sysPath == sysPath)
                return i;
        return -1;
    }

    // Drains the monitor; consecutive events of one kind form one batch.
    void processMonitor()
    {
        if (!monitor)
            return;
        QList<QVariantMap> batch;
        bool adding = true;
        auto flush = [&] {
            if (batch.isEmpty())
                return;
            const QList<QVariantMap> out = std::move(batch);
            batch.clear();
            if (adding)
                emit q->drivesAppeared(out);
            else
                emit q->drivesDisappeared(out);
        };
        while (UdevDevicePtr owned{udev_monitor_receive_device(monitor.get())}) {
            udev_device* dev = owned.get();
            const QByteArray action = udev_device_get_action(dev);
            const QString sysPath = QString::fromUtf8(udev_device_get_syspath(dev));
            if ((action == "add" || action == "change") && isOpticalDisk(dev) && indexOfKnown(sysPath) < 0) {
                if (!adding)
                    flush();
                adding = true;
                const QVariantMap props = propertiesOf(dev);
                known.append({sysPath, props});
                batch.append(props);
            } else if (action == "remove") {
                const qsizetype i = indexOfKnown(sysPath);
                if (i >= 0) {
                    if (adding)
                        flush();
                    adding = false;
                    batch.append(known.takeAt(i).properties);
                }
            }
        }
        flush();
    }
};

LinuxDeviceRegistry::Options::Options() : allowUmount2(::geteuid() == 0) {}

LinuxDeviceRegistry::LinuxDeviceRegistry() : LinuxDeviceRegistry(Options()) {}

LinuxDeviceRegistry::LinuxDeviceRegistry(Options options) : d(std::make_unique<Private>())
{
    d->q = this;
    d->options = std::move(options);
    d->u.reset(udev_new());
}

LinuxDeviceRegistry::~LinuxDeviceRegistry()
{
    d->notifier.reset();
}

bool LinuxDeviceRegistry::startWatching()
{
    if (!d->u)
        return false;
    if (d->watchers++ > 0)
        return true;
    d->monitor.reset(udev_monitor_new_from_netlink(d->u.get(), "udev"));
    if (!d->monitor || udev_monitor_filter_add_match_subsystem_devtype(d->monitor.get(), "block", "disk") < 0 ||
        udev_monitor_enable_receiving(d->monitor.get()) < 0) {
        d->monitor.reset();
        d->watchers = 0;
        return false;
    }
    const int fd = udev_monitor_get_fd(d->monitor.get());
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    d->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, [this] { d->processMonitor(); });
    // Enumerated after the monitor is live, so no drive falls between the two;
    // a later "add" of a drive already listed is ignored.
    d->known = d->enumerate();
    return true;
}

void LinuxDeviceRegistry::stopWatching()
{
    if (d->watchers == 0 || --d->watchers > 0)
        return;
    d->notifier.reset();
    d->monitor.reset();
    d->known.clear();
}

QList<QVariantMap> LinuxDeviceRegistry::matchingDrives()
{
    QList<QVariantMap> drives;
    if (d->watchers > 0) {
        d->processMonitor();
        for (const auto& k : d->known)
            drives.append(k.properties);
    } else if (d->u) {
        for (const auto& k : d->enumerate())
            drives.append(k.properties);
    }
    return drives;
}

EntryId LinuxDeviceRegistry::findDriveByIdentity(const QByteArray& guid)
{
    if (guid.isEmpty() || !d->u)
        return {};
    for (const auto& k : d->enumerate())
        if (k.properties.value(QLatin1String(kGUIDKey)).toByteArray() == guid)
            return k.sysPath;
    return {};
}

namespace {

// The tray interface keeps the drive node open for its lifetime; the
// registry's own uses of the node meanwhile share that descriptor.
class LinuxTray : public TrayInterface {
public:
    explicit LinuxTray(DriveNode node) : _node(std::move(node)) {}
    IOReturn getTrayState(quint8& state) override { return readTrayState(_node->fd, state); }
    IOReturn setTrayState(quint8 open) override { return commandTray(_node->fd, open); }

private:
    DriveNode _node;
};

}  // namespace

std::unique_ptr<TrayInterface> LinuxDeviceRegistry::openTrayInterface(const EntryId& entry, IOReturn* status)
{
    auto fail = [&](IOReturn s) -> std::unique_ptr<TrayInterface> {
        if (status)
            *status = s;
        return nullptr;
    };
    const UdevDevicePtr dev = d->deviceAt(entry);
    const char* node = dev ? udev_device_get_devnode(dev.get()) : nullptr;
    const QString path = node ? d->options.root.devPath(QString::fromUtf8(node)) : QString();
    if (path.isEmpty())
        return fail(IOReturn::NoDevice);
    IOReturn openStatus = IOReturn::Success;
    DriveNode fd = d->openDriveNode(path, &openStatus);
    if (!fd)
        return fail(openStatus);
    if (status)
        *status = IOReturn::Success;
    return std::make_unique<LinuxTray>(std::move(fd));
}

std::optional<QString> LinuxDeviceRegistry::discBSDName(const EntryId& entry)
{
    const UdevDevicePtr dev = d->deviceAt(entry);
    if (!dev)
        return std::nullopt;
    const QString name = QString::fromUtf8(udev_device_get_sysname(dev.get()));
    const char* media = udev_device_get_property_value(dev.get(), "ID_CDROM_MEDIA");
    const bool udevSaysMedia = media && qstrcmp(media, "1") == 0;
    if (const DriveNode fd = d->openDriveNode(d->options.root.devPath(QStringLiteral("/dev/") + name))) {
        const int r = ::ioctl(fd->fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
        if (r >= 0 && r != CDS_DRIVE_NOT_READY && r != CDS_NO_INFO)
            return r == CDS_DISC_OK ? std::optional<QString>(name) : std::nullopt;
    }
    // The drive cannot tell: trust udev's record of the last media change.
    return udevSaysMedia ? std::optional<QString>(name) : std::nullopt;
}

std::optional<VolumeRef> LinuxDeviceRegistry::volumeAtIndex(int index)
{
    const QList<MountEntry> table = readMountTable(d->options.root);
    if (index < 1 || index > table.size())
        return std::nullopt;
    return refForVolumeKey(table[index - 1].key());
}

std::optional<QString> LinuxDeviceRegistry::volumeDeviceName(VolumeRef ref)
{
    const QString key = volumeKeyForRef(ref);
    if (key.isEmpty())
        return std::nullopt;
    for (const MountEntry& m : readMountTable(d->options.root))
        if (m.key() == key)
            return deviceNameOfMount(m, d->options.root);
    return std::nullopt;
}

VolumeStatus LinuxDeviceRegistry::unmount(const MountEntry& entry)
{
    const std::optional<QString> name = deviceNameOfMount(entry, d->options.root);
    const UDisksUnmounter udisks(d->options.udisksBusAddress);
    switch (name ? udisks.unmount(*name) : UDisksUnmounter::Result::Unavailable) {
    case UDisksUnmounter::Result::Done:
        return VolumeStatus::Success;
    case UDisksUnmounter::Result::Busy:
        return VolumeStatus::Busy;
    case UDisksUnmounter::Result::NotAuthorized:
        return VolumeStatus::NotPermitted;
    case UDisksUnmounter::Result::Failed:
        return VolumeStatus::IOError;
    case UDisksUnmounter::Result::Unavailable:
        break;
    }
    if (!d->options.allowUmount2)
        return VolumeStatus::NotPermitted;
    // UMOUNT_NOFOLLOW: a mount point that became a symbolic link (an
    // unprivileged user's doing) must not redirect a root unmount elsewhere.
    if (::umount2(QFile::encodeName(entry.mountPoint).constData(), UMOUNT_NOFOLLOW) == 0)
        return VolumeStatus::Success;
    switch (errno) {
    case EBUSY:
        return VolumeStatus::Busy;
    case EPERM:
        return VolumeStatus::NotPermitted;
    case EINVAL:
        return VolumeStatus::Success;  // no longer a mount point
    default:
        return VolumeStatus::IOError;
    }
}

VolumeStatus LinuxDeviceRegistry::unmountDisk(const QString& disk, const QList<MountEntry>& table)
{
    for (const MountEntry& m : table) {
        const std::optional<QString> name = deviceNameOfMount(m, d->options.root);
        if (!name || !(deviceBelongsToDisk(*name, disk) || wholeDiskOf(*name, d->options.root) == disk))
            continue;
        if (const VolumeStatus status = unmount(m); status != VolumeStatus::Success)
            return status;
    }
    return VolumeStatus::Success;
}

Status LinuxDeviceRegistry::ejectThroughDiskService(const EntryId& entry)
{
    const UdevDevicePtr dev = d->deviceAt(entry);
    if (!dev)
        return IOReturn::NoDevice;
    const QString disk = QString::fromUtf8(udev_device_get_sysname(dev.get()));
    switch (unmountDisk(disk, readMountTable(d->options.root))) {
    case VolumeStatus::Success:
        break;
    case VolumeStatus::Busy:
        return VolumeStatus::Busy;
    case VolumeStatus::NotPermitted:
        return IOReturn::NotPrivileged;  // no udisks2, or its policy refused the unmount
    case VolumeStatus::NotFound:
    case VolumeStatus::IOError:
        return IOReturn::Error;
    }
    switch (UDisksUnmounter(d->options.udisksBusAddress).eject(disk)) {
    case UDisksUnmounter::Result::Done:
        return IOReturn::Success;
    case UDisksUnmounter::Result::Busy:
        return IOReturn::Busy;
    case UDisksUnmounter::Result::NotAuthorized:
    case UDisksUnmounter::Result::Unavailable:
        return IOReturn::NotPrivileged;
    case UDisksUnmounter::Result::Failed:
        break;
    }
    return IOReturn::Error;
}

DeviceNode LinuxDeviceRegistry::deviceNode(const EntryId& entry)
{
    const UdevDevicePtr dev = d->deviceAt(entry);
    const char* node = dev ? udev_device_get_devnode(dev.get()) : nullptr;
    if (!node)
        return {};
    DeviceNode result{QString::fromUtf8(node), {}};
    struct stat st {};
    if (::stat(QFile::encodeName(d->options.root.devPath(result.path)).constData(), &st) == 0) {
        const group* g = ::getgrgid(st.st_gid);
        result.group = g && g->gr_name ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
    }
    return result;
}

Status LinuxDeviceRegistry::ejectVolume(VolumeRef ref)
{
    const QString key = volumeKeyForRef(ref);
    const QList<MountEntry> table = readMountTable(d->options.root);
    std::optional<QString> device;
    for (const MountEntry& m : table)
        if (!key.isEmpty() && m.key() == key)
            device = deviceNameOfMount(m, d->options.root);
    if (!device)
        return VolumeStatus::NotFound;
    const QString disk = wholeDiskOf(*device, d->options.root);
    if (const VolumeStatus unmounted = unmountDisk(disk, table); unmounted != VolumeStatus::Success)
        return unmounted;
    IOReturn status = IOReturn::Success;
    const DriveNode fd = d->openDriveNode(d->options.root.devPath(QStringLiteral("/dev/") + disk), &status);
    if (!fd)
        return status;
    return commandTray(fd->fd, 1);
}

QVariantMap LinuxDeviceRegistry::propertiesFrom(const QMap<QString, QString>& udev, const QString& sysPath,
                                                const QString& kernelName, const QMap<QString, QString>& inquiry)
{
    QVariantMap props;
    QString identity = udev.value(QStringLiteral("ID_SERIAL"));
    if (identity.isEmpty())
        identity = udev.value(QStringLiteral("ID_PATH"));
    if (identity.isEmpty())
        identity = sysPath;
    if (!identity.isEmpty())
        props.insert(QLatin1String(kGUIDKey), identity.toUtf8());
    props.insert(QLatin1String(kBSDNameKey), kernelName);

    const QString bus = udev.value(QStringLiteral("ID_BUS"));
    if (!bus.isEmpty()) {
        static const QMap<QString, QString> names = {{QStringLiteral("ata"), QStringLiteral("ATAPI")},
                                                     {QStringLiteral("usb"), QStringLiteral("USB")},
                                                     {QStringLiteral("scsi"), QStringLiteral("SCSI")},
                                                     {QStringLiteral("ieee1394"), QStringLiteral("FireWire")}};
        props.insert(QLatin1String(kProtocolCharacteristicsKey),
                     QVariantMap{{QLatin1String(kPhysicalInterconnectKey), names.value(bus, bus)}});
    }

    auto text = [&](const char* attr, const char* key) {
        QString v = inquiry.value(QLatin1String(attr)).trimmed();
        if (v.isEmpty())
            v = decodeUdevEnc(udev.value(QLatin1String(key) + QStringLiteral("_ENC")));
        if (v.isEmpty())
            v = udev.value(QLatin1String(key)).trimmed();
        return v;
    };
    auto flag = [&](const char* key) { return udev.value(QLatin1String(key)) == QLatin1String("1"); };
    quint32 cd = 0, dvd = 0;
    const char* cdFlags[] = {"ID_CDROM", "ID_CDROM_CD_R", "ID_CDROM_CD_RW", "ID_CDROM_MRW", "ID_CDROM_MRW_W"};
    for (int i = 0; i < 5; ++i)
        if (flag(cdFlags[i]))
            cd |= 1u << i;
    const char* dvdFlags[] = {"ID_CDROM_DVD",         "ID_CDROM_DVD_R",          "ID_CDROM_DVD_RW",
                              "ID_CDROM_DVD_RAM",     "ID_CDROM_DVD_PLUS_R",     "ID_CDROM_DVD_PLUS_RW",
                              "ID_CDROM_DVD_PLUS_R_DL", "ID_CDROM_DVD_PLUS_RW_DL", "ID_CDROM_DVD_R_DL"};
    for (int i = 0; i < 9; ++i)
        if (flag(dvdFlags[i]))
            dvd |= 1u << i;

    QVariantMap characteristics;
    const QString vendor = text("vendor", "ID_VENDOR");
    const QString product = text("model", "ID_MODEL");
    const QString revision = text("rev", "ID_REVISION");
    if (!vendor.isEmpty())
        characteristics.insert(QLatin1String(kVendorNameKey), vendor);
    if (!product.isEmpty())
        characteristics.insert(QLatin1String(kProductNameKey), product);
    if (!revision.isEmpty())
        characteristics.insert(QLatin1String(kProductRevisionLevelKey), revision);
    characteristics.insert(QLatin1String(kCDFeaturesKey), cd);
    characteristics.insert(QLatin1String(kDVDFeaturesKey), dvd);
    props.insert(QLatin1String(kDeviceCharacteristicsKey), characteristics);
    return props;
}

}  // namespace qn::hardware
