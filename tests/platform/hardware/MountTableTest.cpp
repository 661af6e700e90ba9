// SPDX-License-Identifier: MIT
// Mount tables recorded from real machines, and the volume lookups over them.
#include "QNDeviceOperator.h"
#include "TestSupport.h"
#include "hardware/linux/LinuxDeviceRegistry.h"
#include "hardware/linux/MountTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qn::hardware;

namespace {

QByteArray fixture(const QString& name)
{
    QFile f(qn::test::dataPath(QStringLiteral("mountinfo/") + name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
    return f.readAll();
}

// A scratch root with proc/self/mountinfo and a few sysfs links:
// 254:1 is the partition vda1 of vda (the root mounted as /dev/root).
struct FakeRoot {
    QTemporaryDir dir;
    explicit FakeRoot(const QString& mountinfo)
    {
        QDir d(dir.path());
        d.mkpath("proc/self");
        d.mkpath("sys/devices/pci0000:00/virtio1/block/vda/vda1");
        d.mkpath("sys/dev/block");
        d.mkpath("sys/class/block");
        QFile::copy(qn::test::dataPath(QStringLiteral("mountinfo/") + mountinfo), d.filePath("proc/self/mountinfo"));
        QFile part(d.filePath("sys/devices/pci0000:00/virtio1/block/vda/vda1/partition"));
        part.open(QIODevice::WriteOnly);
        part.write("1\n");
        part.close();
        QFile::link("../../devices/pci0000:00/virtio1/block/vda/vda1", d.filePath("sys/dev/block/254:1"));
        QFile::link("../../devices/pci0000:00/virtio1/block/vda/vda1", d.filePath("sys/class/block/vda1"));
        QFile::link("../../devices/pci0000:00/virtio1/block/vda", d.filePath("sys/class/block/vda"));
    }
    HardwareRoot root() const { return HardwareRoot(dir.path()); }
};

}  // namespace

TEST(MountTable, ParsesOptionalFieldsSeparatorAndEscapes)
{
    const QList<MountEntry> entries = parseMountInfo(fixture("desktop-with-disc.mountinfo"));
    ASSERT_EQ(entries.size(), 9);
    const MountEntry& disc = entries.last();
    EXPECT_EQ(disc.mountId, 1402);
    EXPECT_EQ(disc.major, 11u);
    EXPECT_EQ(disc.minor, 0u);
    EXPECT_EQ(disc.mountPoint, "/media/alice/MY DISC");
    EXPECT_EQ(disc.fsType, "iso9660");
    EXPECT_EQ(disc.source, "/dev/sr0");
    EXPECT_EQ(entries[7].fsType, "fuse.gvfsd-fuse");
}

TEST(MountTable, SkipsMalformedLinesAndKeepsTheRest)
{
    const QByteArray text = "garbage\n"
                            "1 2 3:4 / /no-separator rw ext4 /dev/x rw\n"
                            "x 2 3:4 / /bad-id rw - ext4 /dev/x rw\n"
                            "5 2 3 / /bad-devnum rw - ext4 /dev/x rw\n"
                            "6 2 8:1 / /ok rw - ext4 /dev/sda1 rw\n"
                            "7 2 8:2 / /truncated rw -\n"
                            "8 2 8:3 / /tail\\05 rw - ext4 /dev/sda3 rw";  // broken escape kept as is
    const QList<MountEntry> entries = parseMountInfo(text);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].mountPoint, "/ok");
    EXPECT_EQ(entries[1].mountPoint, "/tail\\05");
}

TEST(MountTable, DeviceNameComesFromSysfsThenFromTheSource)
{
    FakeRoot fake("prefix-trap.mountinfo");
    const QList<MountEntry> entries = readMountTable(fake.root());
    ASSERT_EQ(entries.size(), 5);
    // "/dev/root" names no device: sysfs does, through 254:1.
    EXPECT_EQ(deviceNameOfMount(entries[0], fake.root()), std::optional<QString>("vda1"));
    EXPECT_EQ(wholeDiskOf("vda1", fake.root()), "vda");
    EXPECT_EQ(wholeDiskOf("vda", fake.root()), "vda");
    // No sysfs entry for 11:10: the /dev source.
    EXPECT_EQ(deviceNameOfMount(entries[1], fake.root()), std::optional<QString>("sr10"));
    MountEntry tmpfs;
    tmpfs.source = "tmpfs";
    EXPECT_EQ(deviceNameOfMount(tmpfs, fake.root()), std::nullopt);
}

TEST(MountTable, UnreadableTableIsEmpty)
{
    EXPECT_TRUE(readMountTable(HardwareRoot("/nonexistent-root")).isEmpty());
}

TEST(DeviceBelongsToDisk, WholeDiskAndPartitionsOnly)
{
    EXPECT_TRUE(deviceBelongsToDisk("sr0", "sr0"));
    EXPECT_TRUE(deviceBelongsToDisk("sr0p1", "sr0"));
    EXPECT_TRUE(deviceBelongsToDisk("sda12", "sda"));
    EXPECT_TRUE(deviceBelongsToDisk("nvme0n1p2", "nvme0n1"));
    EXPECT_TRUE(deviceBelongsToDisk("disk1s2", "disk1"));
    EXPECT_FALSE(deviceBelongsToDisk("sr10", "sr1"));
    EXPECT_FALSE(deviceBelongsToDisk("sdab", "sda"));
    EXPECT_FALSE(deviceBelongsToDisk("sr0p", "sr0"));
    EXPECT_FALSE(deviceBelongsToDisk("sr", "sr0"));
    EXPECT_FALSE(deviceBelongsToDisk("sr0", ""));
}

TEST(LinuxVolumes, FirstMountedVolumeOfTheDiskByIndexWins)
{
    FakeRoot fake("prefix-trap.mountinfo");
    LinuxDeviceRegistry::Options options;
    options.root = fake.root();
    options.allowUmount2 = false;
    LinuxDeviceRegistry registry(options);

    // sr10 comes first, but belongs to another drive; of sr1's partitions the
    // one mounted first (sr1p2) is the answer.
    const qint16 sr1 = QNDeviceOperator::volumeRefNumForBSDDeviceName("sr1", registry);
    ASSERT_NE(sr1, 0);
    EXPECT_EQ(QNDeviceOperator::bsdDiskNameOfVolume(sr1, registry), std::optional<QString>("sr1p2"));
    const qint16 sr10 = QNDeviceOperator::volumeRefNumForBSDDeviceName("sr10", registry);
    EXPECT_EQ(QNDeviceOperator::bsdDiskNameOfVolume(sr10, registry), std::optional<QString>("sr10"));
    EXPECT_NE(sr1, sr10);
    EXPECT_EQ(QNDeviceOperator::volumeRefNumForBSDDeviceName("sr1p1", registry),
              registry.volumeAtIndex(4).value_or(0));
    EXPECT_EQ(QNDeviceOperator::volumeRefNumForBSDDeviceName("sr2", registry), 0);
    EXPECT_EQ(QNDeviceOperator::volumeRefNumForBSDDeviceName("", registry), 0);
    // References are stable for the same mount; unknown ones name nothing.
    EXPECT_EQ(registry.volumeAtIndex(2), registry.volumeAtIndex(2));
    EXPECT_EQ(registry.volumeAtIndex(6), std::nullopt);
    EXPECT_EQ(QNDeviceOperator::bsdDiskNameOfVolume(0, registry), std::nullopt);
    EXPECT_EQ(QNDeviceOperator::bsdDiskNameOfVolume(1234, registry), std::nullopt);
}
