// SPDX-License-Identifier: MIT
#include "QNDeviceOperator.h"
#include "QNDeviceScanner.h"
#include "SimulatedMachine.h"
#include "TestSupport.h"
#include "hardware/DeviceRegistry.h"

#include <gtest/gtest.h>

using namespace qn::hardware;

namespace {

QNDevicePtr recordFor(const QString& name)
{
    auto d = std::make_shared<QNDevice>();
    d->setGUIDData("GUID-" + name.toUtf8());
    return d;
}

}  // namespace

TEST(QNDeviceOperator, TrayStateIsZeroOrOneAnythingElseIsAnError)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0");
    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr0"), hw.registry);
    ASSERT_TRUE(op);
    quint8 state = 0x55;
    EXPECT_EQ(op->getTrayState(&state), 0);
    EXPECT_EQ(state, QNDeviceOperator::kTrayClosed);
    EXPECT_EQ(op->setTrayStateToOpen(), 0);
    EXPECT_EQ(op->getTrayState(&state), 0);
    EXPECT_EQ(state, QNDeviceOperator::kTrayOpen);
    EXPECT_EQ(op->setTrayStateToClose(), 0);
    EXPECT_EQ(op->getTrayState(&state), 0);
    EXPECT_EQ(state, QNDeviceOperator::kTrayClosed);

    ASSERT_EQ(hw.machine.modify([](SimMachineState& s, QString&, QString&) -> Status {
        s.drive("sr0")->reportedTrayState = 2;
        return {};
    }),
              0);
    state = 0x55;
    EXPECT_EQ(op->getTrayState(&state), qint32(IOReturn::Error));
    EXPECT_EQ(state, 0x55);
}

TEST(QNDeviceOperator, NeverMadeWithoutIdentityOrForADriveThatIsGone)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0");
    EXPECT_FALSE(QNDeviceOperator::deviceOperatorForDevice(std::make_shared<QNDevice>(), hw.registry));
    EXPECT_FALSE(QNDeviceOperator::deviceOperatorForDevice(nullptr, hw.registry));
    EXPECT_FALSE(QNDeviceOperator::deviceOperatorForDevice(recordFor("sr9"), hw.registry));

    // A drive unplugged under a living operator: queries fail, nothing is
    // left mounted from it.
    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr0"), hw.registry);
    ASSERT_TRUE(op);
    EXPECT_EQ(op->serviceObjectForDevice(op->device()), "sr0");
    ASSERT_EQ(hw.machine.unplug("sr0"), 0);
    quint8 state = 0x55;
    EXPECT_NE(op->getTrayState(&state), 0);
    EXPECT_EQ(state, 0x55);
    EXPECT_NE(op->setTrayStateToOpen(), 0);
    EXPECT_TRUE(op->serviceObjectForDevice(op->device()).isEmpty());
    EXPECT_TRUE(op->ejectMedia());
}

TEST(QNDeviceOperator, EjectWithoutDiscOrMountedVolumeDoesNothing)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0");
    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr0"), hw.registry);
    ASSERT_TRUE(op);
    EXPECT_TRUE(op->ejectMedia());
    hw.insertDisc("sr0");
    EXPECT_TRUE(op->ejectMedia());  // a disc, but not mounted
    EXPECT_TRUE(hw.log("eject").isEmpty());
    EXPECT_TRUE(hw.log("unmount").isEmpty());
    quint8 state = 0x55;
    EXPECT_EQ(op->getTrayState(&state), 0);
    EXPECT_EQ(state, 0);
}

TEST(QNDeviceOperator, EjectsTheFirstMountedVolumeOfItsOwnDrive)
{
    qn::test::SimulatedMachine hw;
    // sr10 comes first and its name begins with "sr1", but it is another drive.
    hw.plug("sr10", "Other", qn::test::SimulatedMachine::withMountedDisc);
    SimDrive d;
    d.bsdName = "sr1";
    d.guid = "GUID-sr1";
    d.discPresent = true;
    d.volumes = {{"sr1p1", "/media/p1", false, false}, {"sr1p2", "/media/p2", true, false}, {"sr1p3", "/media/p3", true, false}};
    ASSERT_EQ(hw.machine.plug(d), 0);
    ASSERT_EQ(hw.machine.modify([](SimMachineState& s, QString&, QString&) -> Status {
        s.fixedVolumes.append(SimFixedVolume{"sda1", "/"});
        return {};
    }),
              0);

    const qint16 ref = QNDeviceOperator::volumeRefNumForBSDDeviceName("sr1", hw.registry);
    ASSERT_NE(ref, 0);
    EXPECT_EQ(QNDeviceOperator::bsdDiskNameOfVolume(ref, hw.registry), std::optional<QString>("sr1p2"));
    EXPECT_EQ(QNDeviceOperator::bsdDiskNameOfVolume(QNDeviceOperator::volumeRefNumForBSDDeviceName("sr10", hw.registry),
                                                    hw.registry),
              std::optional<QString>("sr10"));

    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr1"), hw.registry);
    ASSERT_TRUE(op);
    EXPECT_TRUE(op->ejectMedia());
    EXPECT_EQ(hw.log("unmount"), (QStringList{"unmount sr1p2", "unmount sr1p3"}));
    EXPECT_EQ(hw.log("eject"), QStringList{"eject sr1 tray-open"});
    quint8 state = 0;
    EXPECT_EQ(op->getTrayState(&state), 0);
    EXPECT_EQ(state, QNDeviceOperator::kTrayOpen);
    // The other drive's disc is untouched.
    EXPECT_TRUE(hw.machine.read()->drive("sr10")->volumes[0].mounted);
    EXPECT_EQ(QNDeviceOperator::volumeRefNumForBSDDeviceName("sr1", hw.registry), 0);
}

TEST(QNDeviceOperator, BusyDiscIsNotEjectedAndTheTrayStaysShut)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0", "Burner", qn::test::SimulatedMachine::withMountedDisc);
    ASSERT_EQ(hw.machine.setBusy("sr0", true), 0);
    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr0"), hw.registry);
    ASSERT_TRUE(op);
    EXPECT_FALSE(op->ejectMedia());
    EXPECT_NE(op->setTrayStateToOpen(), 0);  // the kernel keeps a mounted disc's tray shut
    quint8 state = 0x55;
    EXPECT_EQ(op->getTrayState(&state), 0);
    EXPECT_EQ(state, QNDeviceOperator::kTrayClosed);

    ASSERT_EQ(hw.machine.setBusy("sr0", false), 0);
    EXPECT_TRUE(op->ejectMedia());
    EXPECT_EQ(op->getTrayState(&state), 0);
    EXPECT_EQ(state, QNDeviceOperator::kTrayOpen);
}

TEST(QNDeviceOperator, SlotLoaderRefusesTrayCommandsButEjectsItsDisc)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0", "Slot", [](SimDrive& d) {
        d.slotLoading = true;
        qn::test::SimulatedMachine::withMountedDisc(d);
    });
    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr0"), hw.registry);
    ASSERT_TRUE(op);
    EXPECT_NE(op->setTrayStateToOpen(), 0);
    EXPECT_NE(op->setTrayStateToClose(), 0);
    EXPECT_TRUE(op->ejectMedia());
    EXPECT_FALSE(hw.machine.read()->drive("sr0")->discPresent);
    quint8 state = 0x55;
    EXPECT_EQ(op->getTrayState(&state), 0);
    EXPECT_EQ(state, QNDeviceOperator::kTrayClosed);
}

TEST(QNDrivesTool, ListsTheDrivesOfASimulatedMachine)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0", "DVDRAM GH24NSD1");
    hw.plug("sr1", "BD-RW BDR-XD07", [](SimDrive& d) {
        d.vendor = "PIONEER";
        d.revision = "1.01";
        d.interconnect = "USB";
        d.trayOpen = true;
    });
    // The fixture hands the machine to the programs the test starts.
    const qn::test::ProcessResult r = qn::test::runProcess(qn::test::stageDir() + "/bin/qn-drives", {});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    EXPECT_EQ(lines[1].simplified(), "# Vendor Product Revision Interconnect Tray");
    EXPECT_EQ(lines[2].simplified(), "0 HL-DT-ST DVDRAM GH24NSD1 LG00 ATAPI closed");
    EXPECT_EQ(lines[3].simplified(), "1 PIONEER BD-RW BDR-XD07 1.01 USB open");
}

// --- The eject button's decision, one row per kind of drive ------------------------

namespace {

struct ToggleCase {
    const char* name;
    bool trayOpen, trayMotor, slotLoading, disc, mounted, busy;
    QNDeviceOperator::TrayOutcome outcome;
    bool trayOpenAfter, discAfter;
};

using Outcome = QNDeviceOperator::TrayOutcome;

}  // namespace

class QNDeviceOperatorToggle : public ::testing::TestWithParam<ToggleCase> {};

TEST_P(QNDeviceOperatorToggle, SaysWhatHappened)
{
    const ToggleCase& c = GetParam();
    qn::test::SimulatedMachine hw;
    hw.plug("sr0", "Drive", [&c](SimDrive& d) {
        d.trayOpen = c.trayOpen;
        d.trayMotor = c.trayMotor;
        d.slotLoading = c.slotLoading;
        d.discPresent = c.disc;
        if (c.disc)
            d.volumes = {{"sr0", "/media/sim/sr0", c.mounted, c.busy}};
    });

    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr0"), hw.registry);
    ASSERT_TRUE(op);
    EXPECT_EQ(int(op->toggleTray()), int(c.outcome));
    const SimDrive after = *hw.machine.read()->drive(QStringLiteral("sr0"));
    EXPECT_EQ(after.trayOpen, c.trayOpenAfter);
    EXPECT_EQ(after.discPresent, c.discAfter);
    EXPECT_EQ(QNDeviceOperator::trayOpened(c.outcome), c.trayOpenAfter && !c.trayOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, QNDeviceOperatorToggle,
    ::testing::Values(
        //         name                        open  motor  slot   disc   mount  busy   outcome                   open  disc
        ToggleCase{"OpenTrayIsClosed",         true, true,  false, false, false, false, Outcome::Closed,          false, false},
        ToggleCase{"EmptyTrayIsOpened",        false, true, false, false, false, false, Outcome::Opened,          true, false},
        ToggleCase{"MountedDiscEjectOpens",    false, true, false, true,  true,  false, Outcome::OpenedByDiscEject, true, true},
        ToggleCase{"BusyDiscStaysShut",        false, true, false, true,  true,  true,  Outcome::Busy,            false, true},
        ToggleCase{"SlotLoaderPushesDiscOut",  false, false, true, true,  true,  false, Outcome::DiscEjected,     false, false},
        ToggleCase{"EmptySlotLoaderHasNoMotor", false, false, true, false, false, false, Outcome::NotSupported,   false, false},
        ToggleCase{"TrayWithoutMotor",         false, false, false, true, true,  false, Outcome::NotSupported,    false, true},
        ToggleCase{"OpenTrayWithoutMotor",     true, false, false, false, false, false, Outcome::NotSupported,    true, false}),
    [](const ::testing::TestParamInfo<ToggleCase>& info) { return std::string(info.param.name); });

TEST(QNDeviceOperator, CloseIfOpenClosesAnOpenTrayAndOnlyReportsAClosedOne)
{
    qn::test::SimulatedMachine hw;
    hw.plug("sr0");
    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr0"), hw.registry);
    ASSERT_TRUE(op);
    EXPECT_EQ(op->closeTrayIfOpen(), QNDeviceOperator::CloseOutcome::ReadsClosed);
    EXPECT_TRUE(hw.log(QStringLiteral("tray-close")).isEmpty()) << "nothing sent to a closed tray";
    ASSERT_EQ(hw.machine.moveTrayByHand(QStringLiteral("sr0"), true), 0);
    EXPECT_EQ(op->closeTrayIfOpen(), QNDeviceOperator::CloseOutcome::Closed);
    EXPECT_FALSE(hw.machine.read()->drive(QStringLiteral("sr0"))->trayOpen);
    ASSERT_EQ(hw.machine.unplug(QStringLiteral("sr0")), 0);
    EXPECT_EQ(op->closeTrayIfOpen(), QNDeviceOperator::CloseOutcome::Failed);
}

// --- A drive's own error code ---------------------------------------------------

namespace {

// A drive that answers every tray call with one code (or tray commands with
// another). Only a double can: no backend here makes a code outside the known
// ones, nor a drive error the simulated machine does not know.
class OneAnswerRegistry : public DeviceRegistry {
public:
    IOReturn answer = IOReturn::Success;
    std::optional<IOReturn> commandAnswer;  // for tray commands, when set
    quint8 tray = QNDeviceOperator::kTrayClosed;

    QString backendName() const override { return QStringLiteral("one-answer"); }
    bool startWatching() override { return false; }
    void stopWatching() override {}
    QList<QVariantMap> matchingDrives() override { return {}; }
    EntryId findDriveByIdentity(const QByteArray& guid) override { return guid.isEmpty() ? EntryId() : "drive"; }
    std::unique_ptr<TrayInterface> openTrayInterface(const EntryId&, IOReturn* status) override
    {
        if (status)
            *status = IOReturn::Success;
        return std::make_unique<Tray>(*this);
    }
    std::optional<QString> discBSDName(const EntryId&) override { return std::nullopt; }
    std::optional<VolumeRef> volumeAtIndex(int) override { return std::nullopt; }
    std::optional<QString> volumeDeviceName(VolumeRef) override { return std::nullopt; }
    Status ejectVolume(VolumeRef) override { return VolumeStatus::NotFound; }

private:
    struct Tray : TrayInterface {
        explicit Tray(OneAnswerRegistry& r) : registry(r) {}
        IOReturn getTrayState(quint8& state) override
        {
            if (registry.answer == IOReturn::Success)
                state = registry.tray;
            return registry.answer;
        }
        IOReturn setTrayState(quint8) override { return registry.commandAnswer.value_or(registry.answer); }
        OneAnswerRegistry& registry;
    };
};

}  // namespace

TEST(QNDeviceOperator, TrayOperationsPassTheDrivesOwnCodeThroughUnchanged)
{
    OneAnswerRegistry registry;
    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr0"), registry);
    ASSERT_TRUE(op);
    // Known codes and ones no enumerator names (a drive's own, a negative one).
    for (const qint32 code : {qint32(IOReturn::Busy), qint32(IOReturn::Unsupported), qint32(0xE00002EB), -1}) {
        registry.answer = IOReturn(code);
        quint8 state = 0x55;
        EXPECT_EQ(op->getTrayState(&state), code);
        EXPECT_EQ(state, 0x55);
        EXPECT_EQ(op->setTrayStateToOpen(), code);
        EXPECT_EQ(op->setTrayStateToClose(), code);
    }
}

// A refused tray command says why: the user is told the tray did not open, or
// that the drive is in use, even with no disc of ours mounted.
TEST(QNDeviceOperator, ARefusedTrayCommandIsNamedByWhatTheDriveSaid)
{
    struct Case {
        quint8 tray;
        IOReturn command;
        Outcome outcome;
    };
    const Case cases[] = {
        {QNDeviceOperator::kTrayClosed, IOReturn::NotReady, Outcome::Refused},
        {QNDeviceOperator::kTrayClosed, IOReturn::Error, Outcome::Refused},
        {QNDeviceOperator::kTrayClosed, IOReturn::Busy, Outcome::Busy},
        {QNDeviceOperator::kTrayClosed, IOReturn::Unsupported, Outcome::NotSupported},
        {QNDeviceOperator::kTrayOpen, IOReturn::Error, Outcome::NotClosed},
        {QNDeviceOperator::kTrayOpen, IOReturn::Busy, Outcome::NotClosed},
    };
    OneAnswerRegistry registry;
    auto op = QNDeviceOperator::deviceOperatorForDevice(recordFor("sr0"), registry);
    ASSERT_TRUE(op);
    for (const Case& c : cases) {
        registry.tray = c.tray;
        registry.commandAnswer = c.command;
        EXPECT_EQ(int(op->toggleTray()), int(c.outcome)) << "tray " << int(c.tray) << " command " << std::hex
                                                         << quint32(c.command);
    }
}
