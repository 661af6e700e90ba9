// SPDX-License-Identifier: MIT
#include "QNDeviceScanner.h"
#include "SimulatedMachine.h"
#include "TestSupport.h"
#include "hardware/DeviceRegistry.h"
#include "notify/NotificationCenter.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace qn::hardware;

namespace {

// Records the drive notifications of the default centre while it lives.
struct NotificationLog {
    struct Entry {
        QString name;
        const void* sender;
        QNDeviceList devices;
        qsizetype listSizeSeen;  // the scanner's list when the observer ran
    };
    explicit NotificationLog(const QNDeviceScanner& scanner)
    {
        auto& center = qn::NotificationCenter::defaultCenter();
        for (const QString& name : {kQNDevicesAppearedNotification, kQNDevicesDisappearedNotification})
            tokens.append(center.addObserver(name, nullptr, [this, &scanner](const qn::Notification& n) {
                entries.append({n.name, n.sender, QNDeviceScanner::devicesFromUserInfo(n.userInfo),
                                scanner.devicesArray().size()});
            }));
    }
    ~NotificationLog()
    {
        for (auto t : tokens)
            qn::NotificationCenter::defaultCenter().removeObserver(t);
    }
    QList<qn::NotificationCenter::Token> tokens;
    QList<Entry> entries;
};

QStringList products(const QNDeviceList& list)
{
    QStringList out;
    for (const QNDevicePtr& d : list)
        out << d->productName();
    return out;
}

}  // namespace

TEST(QNDeviceScanner, DrivesPresentAtSubscriptionComeInOneNotification)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0", "First");
    hw.plug("sr1", "Second");
    QNDeviceScanner scanner(hw.registry);
    NotificationLog log(scanner);
    EXPECT_TRUE(scanner.devicesArray().isEmpty());  // idle until subscribed
    scanner.registerCallbackHandlers();
    ASSERT_EQ(log.entries.size(), 1);
    EXPECT_EQ(log.entries[0].name, kQNDevicesAppearedNotification);
    EXPECT_EQ(log.entries[0].sender, &scanner);
    EXPECT_EQ(products(log.entries[0].devices), (QStringList{"First", "Second"}));
    EXPECT_EQ(log.entries[0].listSizeSeen, 2);  // the list was updated first
    EXPECT_EQ(products(scanner.devicesArray()), (QStringList{"First", "Second"}));
    // The same records, shared.
    EXPECT_EQ(log.entries[0].devices[0], scanner.devicesArray()[0]);

    const QNDevicePtr first = scanner.devicesArray()[0];
    EXPECT_EQ(first->GUIDData(), QByteArray("GUID-sr0"));
    EXPECT_EQ(first->vendorName(), "HL-DT-ST");
    EXPECT_EQ(first->productRevisionLevel(), "LG00");
    EXPECT_EQ(first->physicalInterconnect(), "ATAPI");

    // A second subscription neither repeats the drives nor posts again.
    scanner.registerCallbackHandlers();
    EXPECT_EQ(scanner.devicesArray().size(), 2);
    EXPECT_EQ(log.entries.size(), 1);
}

TEST(QNDeviceScanner, RemovalShiftsLaterPositions)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0", "A");
    hw.plug("sr1", "B");
    hw.plug("sr2", "C");
    QNDeviceScanner scanner(hw.registry);
    scanner.registerCallbackHandlers();
    NotificationLog log(scanner);
    hw.unplug("sr0");
    ASSERT_TRUE(qn::test::waitUntil([&] { return scanner.devicesArray().size() == 2; }));
    EXPECT_EQ(products(scanner.devicesArray()), (QStringList{"B", "C"}));
    ASSERT_EQ(log.entries.size(), 1);
    const auto& gone = log.entries[0];
    EXPECT_EQ(gone.name, kQNDevicesDisappearedNotification);
    EXPECT_EQ(gone.sender, nullptr);
    EXPECT_EQ(gone.listSizeSeen, 2);
    ASSERT_EQ(gone.devices.size(), 1);
    EXPECT_EQ(gone.devices[0]->GUIDData(), QByteArray("GUID-sr0"));
    EXPECT_TRUE(gone.devices[0]->productName().isEmpty());  // identity only

    // A new drive goes to the end.
    hw.plug("sr0", "D");
    ASSERT_TRUE(qn::test::waitUntil([&] { return scanner.devicesArray().size() == 3; }));
    EXPECT_EQ(products(scanner.devicesArray()), (QStringList{"B", "C", "D"}));
}

TEST(QNDeviceScanner, RecordsFromSparsePropertyTables)
{
    // No "Device Characteristics", no "Protocol Characteristics".
    const QNDevicePtr bare = QNDeviceScanner::deviceFromProperties({{kGUIDKey, QByteArray("ID")}});
    EXPECT_EQ(bare->GUIDData(), QByteArray("ID"));
    EXPECT_TRUE(bare->vendorName().isEmpty());
    EXPECT_TRUE(bare->physicalInterconnect().isEmpty());
    EXPECT_EQ(bare->cdFeatures(), 0u);
    EXPECT_EQ(bare->dvdFeatures(), 0u);
    // Characteristics without some values; masks wider than 32 bits keep their low bits.
    const QNDevicePtr partial = QNDeviceScanner::deviceFromProperties(
        {{kDeviceCharacteristicsKey, QVariantMap{{kProductNameKey, "P"}, {kDVDFeaturesKey, qulonglong(0x1'0000'0003)}}}});
    EXPECT_TRUE(partial->GUIDData().isEmpty());
    EXPECT_EQ(partial->productName(), "P");
    EXPECT_TRUE(partial->vendorName().isEmpty());
    EXPECT_EQ(partial->dvdFeatures(), 3u);
}

TEST(QNDeviceScanner, DriveWithoutIdentityIsListedButNeverRemoved)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0", "Known");
    ASSERT_EQ(hw.machine.modify([](SimMachineState& s, QString&, QString&) -> Status {
        SimDrive anonymous;
        anonymous.bsdName = "sr1";
        anonymous.product = "Anonymous";
        s.drives.append(anonymous);  // no identity at all
        return {};
    }),
              0);
    QNDeviceScanner scanner(hw.registry);
    scanner.registerCallbackHandlers();
    ASSERT_EQ(products(scanner.devicesArray()), (QStringList{"Known", "Anonymous"}));
    NotificationLog log(scanner);
    hw.unplug("sr1");
    hw.unplug("sr0");
    // Sync point: a later arrival is announced after anything the removals caused.
    hw.plug("sr2", "Later");
    ASSERT_TRUE(qn::test::waitUntil([&] { return !log.entries.isEmpty() && log.entries.last().name == kQNDevicesAppearedNotification; }));
    // Only the known drive's removal was announced.
    ASSERT_EQ(log.entries.size(), 2);
    EXPECT_EQ(log.entries[0].name, kQNDevicesDisappearedNotification);
    ASSERT_EQ(log.entries[0].devices.size(), 1);
    EXPECT_EQ(log.entries[0].devices[0]->GUIDData(), QByteArray("GUID-sr0"));
    EXPECT_EQ(products(scanner.devicesArray()), (QStringList{"Anonymous", "Later"}));
}

TEST(QNDeviceScanner, DriveAndRemovalFromAnotherProcessAreSeen)
{
    qn::test::SimulatedMachine hw;
    QNDeviceScanner scanner(hw.registry);
    scanner.registerCallbackHandlers();
    NotificationLog log(scanner);
    const QString tool = qn::test::stageDir() + "/bin/qn-simdrive";
    qn::test::ProcessResult r = qn::test::runProcess(
        tool, {"--machine", hw.machine.path(), "plug", "--name", "sr4", "--guid", "0011223344556677", "--product", "Remote"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_TRUE(qn::test::waitUntil([&] { return scanner.devicesArray().size() == 1; }));
    EXPECT_EQ(scanner.devicesArray()[0]->productName(), "Remote");
    EXPECT_EQ(scanner.devicesArray()[0]->GUIDString(), std::optional<QString>("00112233-4455-6677-0000-0000"));

    r = qn::test::runProcess(tool, {"--machine", hw.machine.path(), "unplug", "sr4"});
    ASSERT_EQ(r.exitCode, 0);
    ASSERT_TRUE(qn::test::waitUntil([&] { return scanner.devicesArray().isEmpty(); }));
    ASSERT_EQ(log.entries.size(), 2);
    EXPECT_EQ(log.entries[0].name, kQNDevicesAppearedNotification);
    EXPECT_EQ(log.entries[1].name, kQNDevicesDisappearedNotification);
}

TEST(QNDeviceScanner, EveryScannerOfTheProcessSeesEachChangeOnce)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0", "A");
    QNDeviceScanner early(hw.registry);
    early.registerCallbackHandlers();
    hw.plug("sr1", "B");  // not yet delivered when the second scanner subscribes
    QNDeviceScanner late(hw.registry);
    late.registerCallbackHandlers();
    EXPECT_EQ(products(late.devicesArray()), (QStringList{"A", "B"}));
    EXPECT_EQ(products(early.devicesArray()), (QStringList{"A", "B"}));
    hw.plug("sr2", "C");
    // Sync point: a duplicate of C would be delivered before the next arrival.
    hw.plug("sr3", "D");
    const auto lastIsD = [](const QNDeviceScanner& s) {
        return !s.devicesArray().isEmpty() && s.devicesArray().last()->productName() == "D";
    };
    ASSERT_TRUE(qn::test::waitUntil([&] { return lastIsD(early) && lastIsD(late); }));
    EXPECT_EQ(products(late.devicesArray()), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(products(early.devicesArray()), (QStringList{"A", "B", "C", "D"}));

    // After unsubscribing the list stays as it was.
    late.unregisterCallbackHandlers();
    hw.unplug("sr0");
    ASSERT_TRUE(qn::test::waitUntil([&] { return early.devicesArray().size() == 3; }));
    EXPECT_EQ(late.devicesArray().size(), 4);
}

TEST(QNDeviceScanner, BrokenMachineFileRemovesNoDrive)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0", "A");
    QNDeviceScanner scanner(hw.registry);
    scanner.registerCallbackHandlers();
    NotificationLog log(scanner);
    QFile f(hw.machine.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("{ broken");
    f.close();
    // A watching registry reads the file again when asked for its drives, so
    // the broken content is seen now rather than whenever the watcher fires.
    EXPECT_EQ(hw.registry.matchingDrives().size(), 1);
    EXPECT_EQ(scanner.devicesArray().size(), 1);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(good);
    f.close();
    hw.plug("sr1", "B");
    ASSERT_TRUE(qn::test::waitUntil([&] { return scanner.devicesArray().size() == 2; }));
    EXPECT_EQ(products(scanner.devicesArray()), (QStringList{"A", "B"}));
    // Neither a removal nor a repeated arrival of A was announced on the way.
    ASSERT_EQ(log.entries.size(), 1);
    EXPECT_EQ(log.entries[0].name, kQNDevicesAppearedNotification);
    EXPECT_EQ(products(log.entries[0].devices), QStringList{"B"});
}
