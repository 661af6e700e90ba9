// SPDX-License-Identifier: MIT
// The Linux backend against mocked udev devices and CD-ROM ioctls (umockdev).
#include "QNDeviceOperator.h"
#include "QNDeviceScanner.h"
#include "TestSupport.h"
#include "UMockdevDrives.h"
#include "hardware/linux/LinuxDeviceRegistry.h"
#include "notify/NotificationCenter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <linux/cdrom.h>

using namespace qn::hardware;
using qn::test::UMockdevDrives;

namespace {

const QStringList kAtaBurner = {"ID_CDROM=1",       "ID_CDROM_CD_R=1",       "ID_CDROM_CD_RW=1",
                                "ID_CDROM_DVD=1",   "ID_CDROM_DVD_PLUS_RW=1", "ID_CDROM_DVD_R_DL=1",
                                "ID_BUS=ata",       "ID_SERIAL=HL-DT-ST_DVDRAM_GH24NSD1_K1OE8M",
                                "ID_VENDOR=udev_vendor", "ID_MODEL=udev_model"};

// A USB reader without inquiry strings in sysfs and without a serial number.
const QStringList kUsbReader = {"ID_CDROM=1", "ID_BUS=usb", "ID_PATH=pci-0000:00:14.0-usb-0:2:1.0-scsi-0:0:0:0",
                                "ID_VENDOR=PLDS", "ID_VENDOR_ENC=PLDS\\x20\\x20\\x20\\x20", "ID_MODEL=DVD-ROM_DU-8D5LH",
                                "ID_MODEL_ENC=DVD-ROM\\x20DU-8D5LH", "ID_REVISION=6D1M"};

class LinuxBackend : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!drives.usable())
            GTEST_SKIP() << "not running under umockdev-wrapper";
        LinuxDeviceRegistry::Options options;
        options.allowUmount2 = false;  // never touch the real mount table
        options.udisksBusAddress = QStringLiteral("unix:path=/nonexistent/bus");
        registry = std::make_unique<LinuxDeviceRegistry>(options);
    }

    QNDevicePtr deviceNamed(const QString& serial)
    {
        auto d = std::make_shared<QNDevice>();
        d->setGUIDData(serial.toUtf8());
        return d;
    }

    UMockdevDrives drives;
    std::unique_ptr<LinuxDeviceRegistry> registry;
};

}  // namespace

TEST_F(LinuxBackend, ScannerListsOpticalDrivesWithTheirPropertyTable)
{
    const QString sr0 = drives.addDrive("sr0", 0, kAtaBurner, "HL-DT-ST", "DVDRAM GH24NSD1 ", "LG00");
    const QString sr1 = drives.addDrive("sr1", 1, kUsbReader);
    ASSERT_FALSE(sr0.isEmpty());
    ASSERT_FALSE(sr1.isEmpty());
    ASSERT_FALSE(drives.addHardDisk("sda").isEmpty());

    QNDeviceScanner scanner(*registry);
    scanner.registerCallbackHandlers();
    const QNDeviceList& list = scanner.devicesArray();
    ASSERT_EQ(list.size(), 2);

    const QNDevice& burner = *list[0];
    EXPECT_EQ(burner.GUIDData(), QByteArray("HL-DT-ST_DVDRAM_GH24NSD1_K1OE8M"));
    // The sysfs inquiry strings win over udev's and are trimmed.
    EXPECT_EQ(burner.vendorName(), "HL-DT-ST");
    EXPECT_EQ(burner.productName(), "DVDRAM GH24NSD1");
    EXPECT_EQ(burner.productRevisionLevel(), "LG00");
    EXPECT_EQ(burner.physicalInterconnect(), "ATAPI");
    EXPECT_EQ(burner.cdFeatures(), 0b111u);             // reads CDs, CD-R, CD-RW
    EXPECT_EQ(burner.dvdFeatures(), (1u << 0) | (1u << 5) | (1u << 8));  // DVD, DVD+RW, DVD-R DL

    const QNDevice& reader = *list[1];
    EXPECT_EQ(reader.GUIDData(), QByteArray("pci-0000:00:14.0-usb-0:2:1.0-scsi-0:0:0:0"));  // no serial: the path
    EXPECT_EQ(reader.vendorName(), "PLDS");
    EXPECT_EQ(reader.productName(), "DVD-ROM DU-8D5LH");
    EXPECT_EQ(reader.productRevisionLevel(), "6D1M");
    EXPECT_EQ(reader.physicalInterconnect(), "USB");
    EXPECT_EQ(reader.cdFeatures(), 1u);
    EXPECT_EQ(reader.dvdFeatures(), 0u);
}

TEST_F(LinuxBackend, ScannerFollowsAddAndRemoveUevents)
{
    const QString sr0 = drives.addDrive("sr0", 0, kAtaBurner, "HL-DT-ST", "DVDRAM GH24NSD1", "LG00");
    QNDeviceScanner scanner(*registry);
    QList<QNDeviceList> appeared, disappeared;
    auto& center = qn::NotificationCenter::defaultCenter();
    const auto t1 = center.addObserver(kQNDevicesAppearedNotification, nullptr, [&](const qn::Notification& n) {
        appeared.append(QNDeviceScanner::devicesFromUserInfo(n.userInfo));
    });
    const auto t2 = center.addObserver(kQNDevicesDisappearedNotification, nullptr, [&](const qn::Notification& n) {
        EXPECT_EQ(n.sender, nullptr);
        disappeared.append(QNDeviceScanner::devicesFromUserInfo(n.userInfo));
    });
    scanner.registerCallbackHandlers();
    ASSERT_EQ(appeared.size(), 1);

    const QString sr1 = drives.addDrive("sr1", 1, kUsbReader);
    drives.uevent(sr1, "add");
    ASSERT_TRUE(qn::test::waitUntil([&] { return scanner.devicesArray().size() == 2; }));
    ASSERT_EQ(appeared.size(), 2);
    EXPECT_EQ(appeared[1].size(), 1);
    EXPECT_EQ(appeared[1][0]->productName(), "DVD-ROM DU-8D5LH");

    drives.uevent(sr0, "remove");
    drives.remove(sr0);
    ASSERT_TRUE(qn::test::waitUntil([&] { return scanner.devicesArray().size() == 1; }));
    ASSERT_EQ(disappeared.size(), 1);
    ASSERT_EQ(disappeared[0].size(), 1);
    EXPECT_EQ(disappeared[0][0]->GUIDData(), QByteArray("HL-DT-ST_DVDRAM_GH24NSD1_K1OE8M"));
    EXPECT_TRUE(disappeared[0][0]->vendorName().isEmpty());
    // The reader moved down to position 0.
    EXPECT_EQ(scanner.devicesArray()[0]->physicalInterconnect(), "USB");
    center.removeObserver(t1);
    center.removeObserver(t2);
}

TEST_F(LinuxBackend, TrayStateFollowsTheDriveStatus)
{
    drives.addDrive("sr0", 0, kAtaBurner);
    auto op = QNDeviceOperator::deviceOperatorForDevice(deviceNamed("HL-DT-ST_DVDRAM_GH24NSD1_K1OE8M"), *registry);
    ASSERT_TRUE(op);
    struct Case {
        int cds;
        qint32 status;
        quint8 state;
    };
    // Any other state than tray open, no disc or disc ok is an error and the
    // caller's byte stays as it was (0x55). (A drive that is not ready is
    // asked again first: DiscEject.DriveSpinningUpIsAskedAgainForAtMostThreeSeconds.)
    for (const Case& c : {Case{CDS_TRAY_OPEN, 0, 1}, Case{CDS_NO_DISC, 0, 0}, Case{CDS_DISC_OK, 0, 0},
                          Case{CDS_NO_INFO, qint32(IOReturn::Error), 0x55}}) {
        drives.withIoctls([&](UMockdevDrives::Ioctls& s) { s.driveStatus = c.cds; });
        quint8 state = 0x55;
        EXPECT_EQ(op->getTrayState(&state), c.status) << "CDS " << c.cds;
        EXPECT_EQ(state, c.state) << "CDS " << c.cds;
    }
    drives.withIoctls([](UMockdevDrives::Ioctls& s) { s.driveStatusErrno = EIO; });
    quint8 state = 0x55;
    EXPECT_NE(op->getTrayState(&state), 0);
    EXPECT_EQ(state, 0x55);
}

TEST_F(LinuxBackend, OpenUnlocksTheDoorThenEjectsAndErrorsAreStatuses)
{
    drives.addDrive("sr0", 0, kAtaBurner);
    auto op = QNDeviceOperator::deviceOperatorForDevice(deviceNamed("HL-DT-ST_DVDRAM_GH24NSD1_K1OE8M"), *registry);
    ASSERT_TRUE(op);
    EXPECT_EQ(op->setTrayStateToOpen(), 0);
    EXPECT_EQ(op->setTrayStateToClose(), 0);
    EXPECT_EQ(drives.withIoctls([](UMockdevDrives::Ioctls& s) { return s.received; }),
              (QList<QByteArray>{"sr0 LOCKDOOR 0", "sr0 EJECT", "sr0 CLOSETRAY"}));

    drives.withIoctls([](UMockdevDrives::Ioctls& s) {
        s.ejectErrno = EBUSY;
        s.closeErrno = ENOSYS;
    });
    EXPECT_EQ(op->setTrayStateToOpen(), qint32(IOReturn::Busy));
    EXPECT_EQ(op->setTrayStateToClose(), qint32(IOReturn::Unsupported));
}

TEST_F(LinuxBackend, NoOperatorForAnUnknownOrMissingIdentity)
{
    drives.addDrive("sr0", 0, kAtaBurner);
    EXPECT_FALSE(QNDeviceOperator::deviceOperatorForDevice(std::make_shared<QNDevice>(), *registry));
    EXPECT_FALSE(QNDeviceOperator::deviceOperatorForDevice(deviceNamed("NO_SUCH_DRIVE"), *registry));
    EXPECT_FALSE(QNDeviceOperator::deviceOperatorForDevice(nullptr, *registry));
}
