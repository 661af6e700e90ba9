// SPDX-License-Identifier: MIT
// qntraylift-watch as a real process against umockdev drives and uevents; the
// agent it starts acts on a simulated machine whose drives have the same
// kernel names (sr0, sr1), so its trace in the machine's log shows what the
// button did.
// glib headers first: they use "signals" as a name, which Qt defines as a macro.
#include <umockdev.h>

#include "AgentHarness.h"
#include "DriveButtonWatcher.h"
#include "EjectRequest.h"
#include "TestSupport.h"

#include "hardware/DeviceRegistry.h"

#include <QProcess>

#include <gtest/gtest.h>

using qn::test::AgentHarness;

namespace {

/// Optical drives and a hard disk in a umockdev testbed.
class Testbed {
public:
    Testbed() : _tb(umockdev_testbed_new()) {}
    ~Testbed() { g_object_unref(_tb); }
    bool usable() const { return umockdev_in_mock_environment(); }

    QString addDisk(const QString& name, int major, int minor, bool optical)
    {
        const QString path = QStringLiteral("/devices/pci0000:00/0000:00:1f.2/ata%1/host%1/target%1:0:0/%1:0:0:0/block/%2")
                                 .arg(minor + major)
                                 .arg(name);
        QString record = QStringLiteral("P: %1\nN: %2\nE: DEVNAME=/dev/%2\nE: DEVTYPE=disk\nE: SUBSYSTEM=block\n"
                                        "E: MAJOR=%3\nE: MINOR=%4\nE: ID_SERIAL=SIM_%2\n")
                             .arg(path, name)
                             .arg(major)
                             .arg(minor);
        if (optical)
            record += QStringLiteral("E: ID_CDROM=1\nA: removable=1\n");
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(_tb, record.toUtf8().constData(), &error)) {
            ADD_FAILURE() << error->message;
            g_error_free(error);
            return {};
        }
        return QStringLiteral("/sys") + path;
    }
    /// A "change" uevent, with DISK_EJECT_REQUEST=1 when `button`.
    void change(const QString& sysPath, bool button)
    {
        const QByteArray path = sysPath.toUtf8();
        umockdev_testbed_set_property(_tb, path.constData(), "DISK_EJECT_REQUEST", button ? "1" : "0");
        umockdev_testbed_uevent(_tb, path.constData(), "change");
    }

private:
    UMockdevTestbed* _tb;
};

QString stageProgram(const QString& name)
{
    return qn::test::stageDir() + QStringLiteral("/bin/") + name;
}

QVariantMap agentPreferences(double seconds)
{
    return {{"isNotFirstTime", true}, {"autoCloseTray", true}, {"timeIntervalUntilCloseTray", seconds}};
}

QStringList texts(const QList<qn::hardware::SimLogEntry>& entries)
{
    QStringList out;
    for (const auto& e : entries)
        out << e.text;
    return out;
}

/// Position of the first entry starting with `prefix`, or -1.
qsizetype indexOf(const QStringList& log, const QString& prefix)
{
    for (qsizetype i = 0; i < log.size(); ++i)
        if (log.at(i).startsWith(prefix))
            return i;
    return -1;
}

}  // namespace

TEST(DriveButtonWatch, ButtonEventOpensItsDriveWithTheCountdownOthersDoNothingAndSigtermEndsCleanly)
{
    Testbed bed;
    if (!bed.usable())
        GTEST_SKIP() << "not running under umockdev-wrapper";
    if (!QFile::exists(stageProgram(QStringLiteral("qntraylift-watch"))))
        GTEST_SKIP() << "qntraylift-watch is not built";

    AgentHarness h;
    ASSERT_EQ(h.plugDrive("SIMLAB", "First", false), QStringLiteral("sr0"));
    ASSERT_EQ(h.plugDrive("SIMLAB", "Second", false), QStringLiteral("sr1"));
    h.setPreferences(agentPreferences(2.0));
    const QString sr0 = bed.addDisk(QStringLiteral("sr0"), 11, 0, true);
    const QString sr1 = bed.addDisk(QStringLiteral("sr1"), 11, 1, true);
    const QString sda = bed.addDisk(QStringLiteral("sda"), 8, 0, false);

    QProcess watcher;
    QByteArray said;
    QObject::connect(&watcher, &QProcess::readyReadStandardError, [&] { said += watcher.readAllStandardError(); });
    watcher.start(stageProgram(QStringLiteral("qntraylift-watch")), {});
    ASSERT_TRUE(qn::test::waitUntil([&] { return said.contains("waiting for"); }, 15000)) << said.constData();

    // Two events that must do nothing, then the one that counts: when its
    // effect shows, the two before it have been handled.
    bed.change(sr0, /*button*/ false);
    bed.change(sda, /*button*/ true);
    bed.change(sr1, /*button*/ true);
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent countdown armed"), 20000)) << said.constData();

    const QStringList log = texts(h.log());
    EXPECT_EQ(texts(h.entries(QStringLiteral("agent request"))), QStringList{"agent request index=1 button"})
        << log.join('\n').toStdString();
    EXPECT_LT(indexOf(log, QStringLiteral("tray-open sr1")), indexOf(log, QStringLiteral("agent countdown armed")));
    EXPECT_EQ(indexOf(log, QStringLiteral("tray-open sr0")), -1) << "the event without the button flag";
    EXPECT_EQ(said.count("eject button of"), 1) << said.constData();
    EXPECT_TRUE(said.contains("eject button of sr1: asked the agent to open drive 1")) << said.constData();

    watcher.terminate();  // SIGTERM
    ASSERT_TRUE(watcher.waitForFinished(15000));
    EXPECT_EQ(watcher.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watcher.exitCode(), 0);
    EXPECT_TRUE(h.waitForAgentsToQuit(20000)) << "the countdown closes the tray and the agent quits";
}

TEST(DriveButtonWatch, PositionsOnUdevAreTheScannersAndOnlyOpticalDrivesHaveOne)
{
    Testbed bed;
    if (!bed.usable())
        GTEST_SKIP() << "not running under umockdev-wrapper";
    bed.addDisk(QStringLiteral("sda"), 8, 0, false);
    bed.addDisk(QStringLiteral("sr0"), 11, 0, true);
    bed.addDisk(QStringLiteral("sr1"), 11, 1, true);
    ASSERT_FALSE(qEnvironmentVariableIsSet("QNLAB_SIMULATED_HARDWARE"));
    const std::unique_ptr<qn::hardware::DeviceRegistry> udev = qn::hardware::DeviceRegistry::create();
    ASSERT_EQ(udev->backendName(), QStringLiteral("linux"));
    EXPECT_EQ(DriveButtonWatcher::drivePosition(QStringLiteral("sr0"), *udev), 0);
    EXPECT_EQ(DriveButtonWatcher::drivePosition(QStringLiteral("sr1"), *udev), 1);
    EXPECT_EQ(DriveButtonWatcher::drivePosition(QStringLiteral("sda"), *udev), std::nullopt);
    EXPECT_EQ(DriveButtonWatcher::drivePosition(QStringLiteral("sr7"), *udev), std::nullopt);
}

// What the agent does with a request for an open tray, by who asked.
struct OpenTrayCase {
    const char* name;
    qn::contracts::EjectRequestSource source;
    bool leftOpenWithCountdown;
};

class OpenTrayRequest : public ::testing::TestWithParam<OpenTrayCase> {};

TEST_P(OpenTrayRequest, ButtonLeavesTheOpenTrayOpenAndCountsDownKeyCloses)
{
    if (!QFile::exists(stageProgram(QStringLiteral("QNTraylift"))))
        GTEST_SKIP() << "the agent is not built";
    AgentHarness h;
    const QString drive = h.plugDrive("SIMLAB", "Open", /*trayOpen*/ true);
    h.setPreferences(agentPreferences(2.0));

    ASSERT_EQ(qn::contracts::sendEjectRequest(0, GetParam().source, stageProgram(QStringLiteral("QNTraylift"))), 0);
    const QString outcome = GetParam().leftOpenWithCountdown ? QStringLiteral("agent countdown armed")
                                                             : QStringLiteral("tray-close ") + drive;
    ASSERT_TRUE(h.waitFor(outcome, 20000)) << texts(h.log()).join('\n').toStdString();
    const QStringList log = texts(h.log());
    if (GetParam().leftOpenWithCountdown) {
        // Nothing closed the tray before the countdown was armed.
        EXPECT_EQ(indexOf(log, QStringLiteral("tray-close")), -1) << log.join('\n').toStdString();
        EXPECT_NE(indexOf(log, QStringLiteral("agent button: tray already open")), -1);
    } else {
        EXPECT_EQ(indexOf(log, QStringLiteral("agent countdown armed")), -1) << log.join('\n').toStdString();
    }
    EXPECT_TRUE(h.waitForAgentsToQuit(20000));
}

INSTANTIATE_TEST_SUITE_P(Sources, OpenTrayRequest,
                         ::testing::Values(OpenTrayCase{"Button", qn::contracts::EjectRequestSource::DriveButton, true},
                                           OpenTrayCase{"Key", qn::contracts::EjectRequestSource::Key, false}),
                         [](const auto& info) { return std::string(info.param.name); });
