// SPDX-License-Identifier: MIT
// glib headers first: they use "signals" as a name, which Qt defines as a macro.
#include <umockdev.h>

#include "UMockdevDrives.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <climits>
#include <linux/cdrom.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn::test {

UMockdevDrives::UMockdevDrives()
{
    UMockdevTestbed* tb = umockdev_testbed_new();
    // Only meaningful after a testbed exists.
    if (!umockdev_in_mock_environment()) {
        g_object_unref(tb);
        return;
    }
    _testbed = tb;
    _handler = umockdev_ioctl_base_new();
    g_signal_connect(_handler, "handle-ioctl", G_CALLBACK(&UMockdevDrives::handle), this);
    g_signal_connect(_handler, "client-connected", G_CALLBACK(&UMockdevDrives::connected), this);
    g_signal_connect(_handler, "client-vanished", G_CALLBACK(&UMockdevDrives::vanished), this);
}

void UMockdevDrives::connected(UMockdevIoctlBase*, void*, void* self)
{
    auto* me = static_cast<UMockdevDrives*>(self);
    std::lock_guard<std::mutex> lock(me->_mutex);
    ++me->_ioctls.opens;
    ++me->_ioctls.openNow;
}

void UMockdevDrives::vanished(UMockdevIoctlBase*, void*, void* self)
{
    auto* me = static_cast<UMockdevDrives*>(self);
    std::lock_guard<std::mutex> lock(me->_mutex);
    --me->_ioctls.openNow;
}

UMockdevDrives::~UMockdevDrives()
{
    if (_handler)
        g_object_unref(_handler);
    if (_testbed)
        g_object_unref(_testbed);
}

int UMockdevDrives::handle(UMockdevIoctlBase*, void* c, void* self)
{
    auto* client = static_cast<UMockdevIoctlClient*>(c);
    auto* me = static_cast<UMockdevDrives*>(self);
    const QByteArray node = QByteArray(umockdev_ioctl_client_get_devnode(client)).split('/').last();
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    long value = 0;
    if (arg && arg->data && arg->data_len >= int(sizeof(long)))
        std::memcpy(&value, arg->data, sizeof(long));
    std::lock_guard<std::mutex> lock(me->_mutex);
    Ioctls& s = me->_ioctls;
    switch (request) {
    case CDROM_DRIVE_STATUS:
        s.received.append(node + " STATUS");
        if (s.notReadyAnswers > 0 && !s.driveStatusErrno) {
            --s.notReadyAnswers;
            umockdev_ioctl_client_complete(client, CDS_DRIVE_NOT_READY, 0);
            return TRUE;
        }
        umockdev_ioctl_client_complete(client, s.driveStatusErrno ? -1 : s.driveStatus, s.driveStatusErrno);
        return TRUE;
    case CDROM_LOCKDOOR:
        s.received.append(node + " LOCKDOOR " + QByteArray::number(qlonglong(value)));
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    case CDROMEJECT:
        s.received.append(node + " EJECT");
        s.openAtEject.append(s.openNow);
        umockdev_ioctl_client_complete(client, s.ejectErrno ? -1 : 0, s.ejectErrno);
        return TRUE;
    case CDROMCLOSETRAY:
        s.received.append(node + " CLOSETRAY");
        umockdev_ioctl_client_complete(client, s.closeErrno ? -1 : 0, s.closeErrno);
        return TRUE;
    default:
        return FALSE;  // the caller gets ENOTTY
    }
}

QString UMockdevDrives::addDrive(const QString& name, int minor, const QStringList& udevProperties,
                                 const QString& vendor, const QString& model, const QString& rev)
{
    const QString scsi = QStringLiteral("/devices/pci0000:00/0000:00:1f.2/ata%1/host%1/target%1:0:0/%1:0:0:0").arg(minor + 1);
    const QString parent = QStringLiteral("P: %1\nE: SUBSYSTEM=scsi\nE: DEVTYPE=scsi_device\n").arg(scsi);
    const QString path = scsi + QStringLiteral("/block/") + name;
    QString block = QStringLiteral("P: %1\nN: %2\nE: DEVNAME=/dev/%2\nE: DEVTYPE=disk\nE: SUBSYSTEM=block\n"
                                   "E: MAJOR=11\nE: MINOR=%3\nA: removable=1\n")
                        .arg(path, name)
                        .arg(minor);
    // The inquiry strings as the block device's "device" folder shows them
    // (umockdev makes no "device" link to the parent).
    if (!vendor.isEmpty())
        block += QStringLiteral("A: device/vendor=%1\n").arg(vendor);
    if (!model.isEmpty())
        block += QStringLiteral("A: device/model=%1\n").arg(model);
    if (!rev.isEmpty())
        block += QStringLiteral("A: device/rev=%1\n").arg(rev);
    for (const QString& p : udevProperties)
        block += QStringLiteral("E: ") + p + QLatin1Char('\n');
    GError* error = nullptr;
    // Child first, then parent, as umockdev-record writes them.
    if (!umockdev_testbed_add_from_string(_testbed, (block + QLatin1Char('\n') + parent).toUtf8().constData(), &error)) {
        g_error_free(error);
        return {};
    }
    umockdev_testbed_attach_ioctl(_testbed, ("/dev/" + name).toUtf8().constData(), _handler, nullptr);
    return QStringLiteral("/sys") + path;
}

QString UMockdevDrives::addHardDisk(const QString& name)
{
    const QString path = QStringLiteral("/devices/pci0000:00/0000:00:1f.2/ata9/host9/target9:0:0/9:0:0:0/block/") + name;
    const QString block = QStringLiteral("P: %1\nN: %2\nE: DEVNAME=/dev/%2\nE: DEVTYPE=disk\nE: SUBSYSTEM=block\n"
                                         "E: MAJOR=8\nE: MINOR=0\nE: ID_BUS=ata\nE: ID_SERIAL=DISK_1234\n")
                              .arg(path, name);
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(_testbed, block.toUtf8().constData(), &error)) {
        g_error_free(error);
        return {};
    }
    return QStringLiteral("/sys") + path;
}

QString UMockdevDrives::rootDir() const
{
    return QString::fromUtf8(umockdev_testbed_get_root_dir(_testbed));
}

bool UMockdevDrives::restrictNode(const QString& name, unsigned gid)
{
    const QByteArray root = QFile::encodeName(rootDir());
    const QByteArray node = root + "/dev/" + QFile::encodeName(name);
    // umockdev's preload connects to the node's ioctl socket even when the
    // open itself is refused, and aborts when it cannot: every user reaches
    // the socket. The sticky bit is umockdev's mark of a block device.
    const QByteArray socket = root + "/ioctl/dev/" + QFile::encodeName(name);
    // umockdev's udev monitor of a process is a socket it binds in the root.
    return ::chmod(root.constData(), 01777) == 0 && ::chown(node.constData(), 0, gid_t(gid)) == 0
        && ::chmod(node.constData(), 01660) == 0 && ::chmod(socket.constData(), 0777) == 0;
}

void UMockdevDrives::uevent(const QString& sysPath, const char* action)
{
    umockdev_testbed_uevent(_testbed, sysPath.toUtf8().constData(), action);
}

void UMockdevDrives::remove(const QString& sysPath)
{
    umockdev_testbed_remove_device(_testbed, sysPath.toUtf8().constData());
}

}  // namespace qn::test
