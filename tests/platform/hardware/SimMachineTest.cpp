// SPDX-License-Identifier: MIT
// The simulated machine: its rules, its file, its log and its command line.
#include "TestSupport.h"
#include "hardware/DeviceRegistry.h"
#include "hardware/sim/SimMachine.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace qn::hardware;

namespace qn::hardware {
// Failed expectations show the number.
void PrintTo(Status status, std::ostream* out)
{
    *out << status.code();
}
}  // namespace qn::hardware

namespace {

class SimMachineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(machine.create()); }

    SimDrive burner(const QString& name, bool mountedDisc, QList<SimVolume> volumes = {})
    {
        SimDrive d;
        d.bsdName = name;
        d.vendor = "HL-DT-ST";
        d.product = "DVDRAM GH24NSD1";
        if (mountedDisc) {
            d.discPresent = true;
            d.volumes = volumes.isEmpty() ? QList<SimVolume>{{name, "/media/sim/" + name, true, false}} : volumes;
        }
        return d;
    }

    const SimDrive drive(const QString& name)
    {
        const std::optional<SimMachineState> s = machine.read();
        EXPECT_TRUE(s && s->drive(name));
        return s && s->drive(name) ? *s->drive(name) : SimDrive();
    }

    QString simdrive() const { return qn::test::stageDir() + "/bin/qn-simdrive"; }

    QTemporaryDir dir;
    SimMachine machine{dir.filePath("machine.json")};
};

}  // namespace

TEST_F(SimMachineTest, TrayCommandsFollowTheKernelRules)
{
    ASSERT_EQ(machine.plug(burner("sr0", true)), 0);
    QString error;
    // A mounted disc keeps the tray shut.
    EXPECT_EQ(machine.commandTray("sr0", true, &error), IOReturn::Busy);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(drive("sr0").trayOpen);
    EXPECT_EQ(machine.moveTrayByHand("sr0", true), IOReturn::Busy);
    // An eject unmounts, then opens the tray with the disc on it.
    EXPECT_EQ(machine.ejectDisc("sr0"), 0);
    EXPECT_TRUE(drive("sr0").trayOpen);
    EXPECT_TRUE(drive("sr0").discPresent);
    EXPECT_FALSE(drive("sr0").volumes[0].mounted);
    // Nothing can be mounted from an open tray; push it in and mount again.
    EXPECT_NE(machine.mount("sr0"), 0);
    EXPECT_EQ(machine.moveTrayByHand("sr0", false), 0);
    EXPECT_EQ(machine.mount("sr0"), 0);
    EXPECT_TRUE(drive("sr0").volumes[0].mounted);
    EXPECT_EQ(machine.mount("sr0", "sr0p9"), VolumeStatus::NotFound);
}

TEST_F(SimMachineTest, BusyPartitionStopsTheEjectAfterTheOnesBeforeIt)
{
    ASSERT_EQ(machine.plug(burner("sr0", true, {{"sr0p1", "/media/a", true, false}, {"sr0p2", "/media/b", true, true}})),
              0);
    QString error;
    EXPECT_EQ(machine.ejectDisc("sr0", &error), VolumeStatus::Busy);
    EXPECT_TRUE(error.contains("sr0p2"));
    const SimDrive d = drive("sr0");
    EXPECT_FALSE(d.volumes[0].mounted);  // unmounted before the busy one: stays so
    EXPECT_TRUE(d.volumes[1].mounted);
    EXPECT_FALSE(d.trayOpen);
    EXPECT_EQ(machine.setBusy("sr0p2", false), 0);
    EXPECT_EQ(machine.ejectDisc("sr0"), 0);
    EXPECT_TRUE(drive("sr0").trayOpen);
}

TEST_F(SimMachineTest, SlotLoadersAndMotorlessTraysRefuseTrayCommands)
{
    SimDrive slot = burner("sr0", true);
    slot.slotLoading = true;
    SimDrive manual = burner("sr1", false);
    manual.trayMotor = false;
    ASSERT_EQ(machine.plug(slot), 0);
    ASSERT_EQ(machine.plug(manual), 0);
    EXPECT_EQ(machine.commandTray("sr0", true), IOReturn::Unsupported);
    EXPECT_EQ(machine.commandTray("sr1", true), IOReturn::Unsupported);
    EXPECT_EQ(machine.commandTray("sr1", false), IOReturn::Unsupported);
    // The slot loader pushes its disc out; its "tray" never reads open.
    EXPECT_EQ(machine.ejectDisc("sr0"), 0);
    EXPECT_FALSE(drive("sr0").discPresent);
    EXPECT_FALSE(drive("sr0").trayOpen);
    // The motorless tray opens by hand only.
    EXPECT_EQ(machine.moveTrayByHand("sr1", true), 0);
    EXPECT_EQ(machine.insertDisc("sr1", {}), 0);
    EXPECT_EQ(drive("sr1").volumes.size(), 1);
}

TEST_F(SimMachineTest, DiscsGoInAndOutOnlyThroughAnOpenTray)
{
    ASSERT_EQ(machine.plug(burner("sr0", false)), 0);
    EXPECT_EQ(machine.insertDisc("sr0", {}), IOReturn::Busy);
    ASSERT_EQ(machine.moveTrayByHand("sr0", true), 0);
    EXPECT_EQ(machine.insertDisc("sr0", {{"sr0p1", {}, true, true}, {"sr0p2", {}, false, false}}), 0);
    const SimDrive d = drive("sr0");
    ASSERT_EQ(d.volumes.size(), 2);
    EXPECT_FALSE(d.volumes[0].mounted);  // a new disc is never mounted or busy yet
    EXPECT_FALSE(d.volumes[0].busy);
    EXPECT_EQ(d.volumes[0].mountPoint, "/media/sim/sr0p1");
    EXPECT_EQ(machine.insertDisc("sr0", {}), IOReturn::Busy);  // already holds one
    EXPECT_EQ(machine.removeDisc("sr0"), 0);
    EXPECT_EQ(machine.removeDisc("sr0"), IOReturn::NoDevice);
    EXPECT_EQ(machine.unplug("sr0"), 0);
    EXPECT_EQ(machine.unplug("sr0"), IOReturn::NoDevice);
}

TEST_F(SimMachineTest, BadFileIsReportedAndLeftUntouched)
{
    const QByteArray broken = "{\"format\": 1, \"drives\": [ {\"bsdName\": \"sr0\", ";
    for (const QByteArray& content : {broken, QByteArray("{\"format\": 7, \"drives\": []}"),
                                      QByteArray("{\"format\": 1, \"drives\": [{\"bsdName\": \"sr0\", \"guid\": \"xyz\"}]}"),
                                      QByteArray("{\"format\": 1, \"drives\": [{\"bsdName\": \"sr0\"}, {\"bsdName\": \"sr0\"}]}")}) {
        QFile f(machine.path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        QString error;
        EXPECT_NE(machine.plug(burner("sr1", false), &error), 0);
        EXPECT_FALSE(error.isEmpty()) << content.toStdString();
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), content);
    }
}

TEST_F(SimMachineTest, LogHasMillisecondTimesPidsAndOrder)
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
    ASSERT_EQ(machine.plug(burner("sr0", true)), 0);
    ASSERT_EQ(machine.setBusy("sr0", true), 0);
    EXPECT_EQ(machine.ejectDisc("sr0"), VolumeStatus::Busy);
    const QList<SimLogEntry> log = machine.readLog();
    ASSERT_EQ(log.size(), 4);
    EXPECT_EQ(log[0].text, "machine-created");
    EXPECT_TRUE(log[1].text.startsWith("plug sr0 guid="));
    EXPECT_EQ(log[2].text, "busy sr0");
    EXPECT_EQ(log[3].text, "unmount sr0 refused busy");
    for (const SimLogEntry& e : log) {
        EXPECT_EQ(e.pid, QCoreApplication::applicationPid());
        EXPECT_GE(e.time, before);
    }
    QFile raw(machine.logPath());
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    // e.g. 2026-12-08T21:15:03.123Z
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z pid=\\d+ machine-created\\n")
                    .match(QString::fromUtf8(raw.readLine()))
                    .hasMatch());
}

TEST_F(SimMachineTest, ConcurrentChangesFromSeveralProcessesLoseNothing)
{
    // Three processes plug eight drives each at the same time; every plug
    // reads, changes and writes the whole file, so only the lock keeps all 24.
    QList<QProcess*> writers;
    for (int p = 0; p < 3; ++p) {
        auto* proc = new QProcess;
        proc->start("/bin/sh", {"-c", QString("for i in 1 2 3 4 5 6 7 8; do \"%1\" --machine \"%2\" plug >/dev/null || exit 1; done")
                                          .arg(simdrive(), machine.path())});
        writers.append(proc);
    }
    for (QProcess* proc : writers) {
        EXPECT_TRUE(proc->waitForFinished(120000));
        EXPECT_EQ(proc->exitCode(), 0);
        delete proc;
    }
    const std::optional<SimMachineState> s = machine.read();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->drives.size(), 24);
    QSet<QByteArray> guids;
    for (const SimDrive& d : s->drives)
        guids.insert(d.guid);
    EXPECT_EQ(guids.size(), 24);
}

TEST_F(SimMachineTest, CommandLineReportsRefusalsAndUsage)
{
    const QStringList m = {"--machine", machine.path()};
    auto run = [&](const QStringList& args) { return qn::test::runProcess(simdrive(), m + args); };
    qn::test::ProcessResult r = run({"plug", "--name", "sr3", "--disc", "sr3p1,sr3p2", "--mounted", "--vendor", "TSSTcorp"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "sr3\n");
    EXPECT_EQ(drive("sr3").volumes.size(), 2);
    EXPECT_TRUE(drive("sr3").volumes[1].mounted);

    r = run({"open", "sr3"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("mounted"));
    r = run({"plug", "--cd-features", "notanumber"});
    EXPECT_EQ(r.exitCode, 2);
    r = run({"tray", "sr3", "sideways"});
    EXPECT_EQ(r.exitCode, 2);
    r = run({"list"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("volume sr3p2  mounted on /media/sim/sr3p2"));
    r = qn::test::runProcess(simdrive(), {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("push the tray in or pull it out by hand"));
    r = qn::test::runProcess(simdrive(), {"list"}, 30000, {"QNLAB_SIMULATED_HARDWARE="});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("QNLAB_SIMULATED_HARDWARE"));
}

TEST(DeviceRegistryChoice, SimulatedMachineWhenTheVariableNamesAFile)
{
    QTemporaryDir dir;
    qputenv("QNLAB_SIMULATED_HARDWARE", dir.filePath("m.json").toUtf8());
    EXPECT_EQ(DeviceRegistry::create()->backendName(), "sim");
    qunsetenv("QNLAB_SIMULATED_HARDWARE");
    EXPECT_EQ(DeviceRegistry::create()->backendName(), "linux");
}
