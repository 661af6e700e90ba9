// SPDX-License-Identifier: MIT
// Disc eject on the Linux backend: mocked drive (umockdev), a recorded mount
// table, and udisks2 played by a D-Bus double on a private bus.
#include "QNDeviceOperator.h"
#include "TestSupport.h"
#include "UDisksDouble.h"
#include "UMockdevDrives.h"
#include "hardware/linux/LinuxDeviceRegistry.h"
#include "hardware/linux/MountTable.h"
#include "hardware/linux/UDisksUnmounter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <grp.h>
#include <linux/cdrom.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qn::hardware;
using qn::test::UDisksDouble;
using qn::test::UMockdevDrives;

namespace {

const QByteArray kSerial = "HL-DT-ST_DVDRAM_GH24NSD1_K1OE8M";

class DiscEject : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!drives.usable())
            GTEST_SKIP() << "not running under umockdev-wrapper";
        drives.addDrive("sr0", 0, {"ID_CDROM=1", "ID_BUS=ata", "ID_SERIAL=" + QString::fromLatin1(kSerial)});
        QDir(proc.path()).mkpath("proc/self");
    }

    void useMountTable(const QString& fixture)
    {
        const QString target = proc.path() + "/proc/self/mountinfo";
        QFile::remove(target);
        ASSERT_TRUE(QFile::copy(qn::test::dataPath("mountinfo/" + fixture), target));
    }

    // The backend with the recorded mount table and the given bus for udisks2.
    std::unique_ptr<LinuxDeviceRegistry> registry(const QString& busAddress)
    {
        LinuxDeviceRegistry::Options options;
        options.root.proc = proc.path();
        options.udisksBusAddress = busAddress;
        options.allowUmount2 = false;
        return std::make_unique<LinuxDeviceRegistry>(options);
    }

    bool ejected()
    {
        return drives.withIoctls([](UMockdevDrives::Ioctls& s) { return s.received.contains("sr0 EJECT"); });
    }

    std::shared_ptr<QNDeviceOperator> operatorFor(LinuxDeviceRegistry& r)
    {
        auto device = std::make_shared<QNDevice>();
        device->setGUIDData(kSerial);
        return QNDeviceOperator::deviceOperatorForDevice(device, r);
    }

    UMockdevDrives drives;
    QTemporaryDir proc;
};

}  // namespace

TEST_F(DiscEject, MountedDiscIsUnmountedThroughUDisksThenEjectedThroughTheOneOpenDescriptor)
{
    UDisksDouble udisks;
    QString why;
    if (!udisks.start({{"sr0", "ok"}}, &why))
        GTEST_SKIP() << why.toStdString();
    useMountTable("desktop-with-disc.mountinfo");
    auto r = registry(udisks.busAddress());
    auto op = operatorFor(*r);
    ASSERT_TRUE(op);
    EXPECT_TRUE(op->ejectMedia());
    EXPECT_EQ(udisks.calls(), QStringList{"Unmount sr0"});
    const QList<QByteArray> received = drives.withIoctls([](UMockdevDrives::Ioctls& s) { return s.received; });
    const qsizetype unlock = received.indexOf("sr0 LOCKDOOR 0");
    ASSERT_GE(unlock, 0);
    EXPECT_EQ(received.indexOf("sr0 EJECT"), unlock + 1);
    // The kernel refuses CDROMEJECT (EBUSY) unless the drive is open once.
    const auto [opens, openAtEject] = drives.withIoctls(
        [](UMockdevDrives::Ioctls& s) { return std::make_pair(s.opens, s.openAtEject); });
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(openAtEject, QList<int>{1});
}

TEST_F(DiscEject, DriveSpinningUpIsAskedAgainForAtMostThreeSeconds)
{
    auto r = registry("unix:path=/nonexistent/bus");
    auto op = operatorFor(*r);
    ASSERT_TRUE(op);
    drives.withIoctls([](UMockdevDrives::Ioctls& s) { s.notReadyAnswers = 3; });
    quint8 state = 7;
    EXPECT_EQ(op->getTrayState(&state), 0);
    EXPECT_EQ(state, QNDeviceOperator::kTrayClosed);

    drives.withIoctls([](UMockdevDrives::Ioctls& s) { s.notReadyAnswers = 1000000; });
    state = 7;
    EXPECT_EQ(op->getTrayState(&state), qint32(IOReturn::NotReady));
    EXPECT_EQ(state, 7);
}

TEST_F(DiscEject, BusyOrRefusedVolumeIsNotEjected)
{
    for (const char* behaviour : {"busy", "notauth"}) {
        UDisksDouble udisks;
        QString why;
        if (!udisks.start({{"sr0", behaviour}}, &why))
            GTEST_SKIP() << why.toStdString();
        useMountTable("desktop-with-disc.mountinfo");
        auto r = registry(udisks.busAddress());
        auto op = operatorFor(*r);
        ASSERT_TRUE(op);
        EXPECT_FALSE(op->ejectMedia()) << behaviour;
        EXPECT_EQ(udisks.calls(), QStringList{"Unmount sr0"}) << behaviour;
        EXPECT_FALSE(ejected()) << behaviour;
        // The status tells which.
        const QList<MountEntry> table = readMountTable(HardwareRoot(proc.path()));
        EXPECT_EQ(r->unmount(table.last()), QByteArray(behaviour) == "busy" ? VolumeStatus::Busy : VolumeStatus::NotPermitted);
    }
}

TEST_F(DiscEject, WithoutUDisksAndWithoutRootNothingIsUnmounted)
{
    UDisksDouble bus;  // a bus where nobody plays udisks2
    QString why;
    if (!bus.start({}, &why))
        GTEST_SKIP() << why.toStdString();
    useMountTable("desktop-with-disc.mountinfo");
    auto r = registry(bus.busAddress());
    auto op = operatorFor(*r);
    ASSERT_TRUE(op);
    EXPECT_FALSE(op->ejectMedia());
    EXPECT_FALSE(ejected());
}

TEST_F(DiscEject, NoDiscOrUnmountedDiscNeedsNoEject)
{
    useMountTable("desktop-with-disc.mountinfo");
    auto r = registry("unix:path=/nonexistent/bus");
    auto op = operatorFor(*r);
    ASSERT_TRUE(op);
    drives.withIoctls([](UMockdevDrives::Ioctls& s) { s.driveStatus = CDS_NO_DISC; });
    EXPECT_TRUE(op->ejectMedia());

    drives.withIoctls([](UMockdevDrives::Ioctls& s) { s.driveStatus = CDS_DISC_OK; });
    useMountTable("prefix-trap.mountinfo");  // sr0 is not mounted there
    EXPECT_TRUE(op->ejectMedia());
    EXPECT_FALSE(ejected());
}

TEST(UDisksUnmounter, ObjectPathsEscapeLikeUDisks)
{
    EXPECT_EQ(UDisksUnmounter::objectPathFor("sr0"), "/org/freedesktop/UDisks2/block_devices/sr0");
    EXPECT_EQ(UDisksUnmounter::objectPathFor("dm-0"), "/org/freedesktop/UDisks2/block_devices/dm_2d0");
}

// A user who may not open the drive's node: the backend says so in its own
// status, and the operator ejects through udisks2's Drive.Eject (unmounting
// first) when udisks2 allows it. The node is given to group "disk"; the
// operator is made with the file-system identity of an unprivileged user
// (setfsuid affects only this thread, and drops root's file access rights).
struct WithoutNodeAccessCase {
    const char* eject;  // the double's Drive.Eject; nullptr: no udisks2 on the bus
    QNDeviceOperator::TrayOutcome outcome;
    QStringList calls;
};

class WithoutNodeAccess : public DiscEject, public ::testing::WithParamInterface<WithoutNodeAccessCase> {};

TEST_P(WithoutNodeAccess, EjectGoesThroughUDisksAndCloseReportsNoPermission)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the node away";
    const group* disk = ::getgrnam("disk");
    ASSERT_TRUE(disk);
    ASSERT_TRUE(drives.restrictNode("sr0", disk->gr_gid));
    ASSERT_EQ(::chmod(QFile::encodeName(proc.path()).constData(), 0755), 0);
    UDisksDouble udisks;
    QString why;
    const bool started = GetParam().eject
        ? udisks.start({{"sr0", "ok"}, {"drive:sr0", GetParam().eject}}, &why)
        : udisks.startWithoutUDisks(&why);
    if (!started)
        GTEST_SKIP() << why.toStdString();
    useMountTable("desktop-with-disc.mountinfo");
    auto r = registry(udisks.busAddress());
    auto device = std::make_shared<QNDevice>();
    device->setGUIDData(kSerial);

    std::shared_ptr<QNDeviceOperator> op, nodeOnly;
    IOReturn openStatus = IOReturn::Success;
    {
        const uid_t before = ::setfsuid(65534);
        ASSERT_EQ(before, 0u);
        r->openTrayInterface(r->findDriveByIdentity(kSerial), &openStatus);
        nodeOnly = QNDeviceOperator::deviceOperatorForDevice(device, *r);
        op = QNDeviceOperator::deviceOperatorForDevice(device, *r, QNDeviceOperator::Access::NodeOrDiskService);
        ::setfsuid(before);
    }
    EXPECT_EQ(openStatus, IOReturn::NotPrivileged);
    EXPECT_FALSE(nodeOnly);  // callers that need the node get no operator, as before
    ASSERT_TRUE(op);
    EXPECT_FALSE(op->hasNodeAccess());
    quint8 state = 7;
    EXPECT_EQ(op->getTrayState(&state), qint32(IOReturn::NotPrivileged));
    EXPECT_EQ(state, 7);
    EXPECT_EQ(op->closeTrayIfOpen(), QNDeviceOperator::CloseOutcome::NotPermitted);
    const DeviceNode node = op->deviceNode();
    EXPECT_EQ(node.path, "/dev/sr0");
    EXPECT_EQ(node.group, "disk");

    EXPECT_EQ(op->toggleTray(), GetParam().outcome);
    EXPECT_EQ(udisks.calls(), GetParam().calls);
    EXPECT_FALSE(ejected());  // never through the node
}

INSTANTIATE_TEST_SUITE_P(
    DriveEject, WithoutNodeAccess,
    ::testing::Values(
        WithoutNodeAccessCase{"ok", QNDeviceOperator::TrayOutcome::Opened, {"Unmount sr0", "Eject sr0"}},
        WithoutNodeAccessCase{"notauth", QNDeviceOperator::TrayOutcome::NotPermitted, {"Unmount sr0", "Eject sr0"}},
        WithoutNodeAccessCase{nullptr, QNDeviceOperator::TrayOutcome::NotPermitted, {}}),
    [](const auto& info) { return std::string(info.param.eject ? info.param.eject : "absent"); });
