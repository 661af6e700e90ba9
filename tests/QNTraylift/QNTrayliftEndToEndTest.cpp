// SPDX-License-Identifier: MIT
// The agent end to end: real qneject and QNTraylift processes on a simulated
// machine. Timings come from the machine's event log, with generous bounds.
#include "AgentHarness.h"

#include "PrivateSessionBus.h"
#include "TestSupport.h"

#include "defaults/UserDefaults.h"

#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using qn::hardware::SimLogEntry;
using qn::test::AgentHarness;

namespace {

const QString kVendor = QStringLiteral("SIMLAB");
const QString kProduct = QStringLiteral("DVD-RW 24X");

QVariantMap laterLaunch(QVariantMap extra = {})
{
    extra.insert(QStringLiteral("isNotFirstTime"), true);
    return extra;
}

QVariantMap countdownOf(double seconds)
{
    return laterLaunch({{QStringLiteral("autoCloseTray"), true},
                        {QStringLiteral("timeIntervalUntilCloseTray"), seconds}});
}

// The tray check's record of the test drive's model as slot-loading.
QVariantList rememberedAsSlotLoading()
{
    return {QVariantMap{{QStringLiteral("vendorName"), kVendor},
                        {QStringLiteral("productName"), kProduct},
                        {QStringLiteral("slotLoading"), true}}};
}

}  // namespace

class AgentEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFile::exists(qn::test::stageDir() + QStringLiteral("/bin/QNTraylift")))
            GTEST_SKIP() << "the agent is not built in " << qn::test::stageDir().toStdString();
    }
    void TearDown() override { EXPECT_TRUE(h.waitForAgentsToQuit(15000)) << "an agent had to be killed"; }

    AgentHarness h;
};

TEST_F(AgentEndToEnd, OpenTrayIsClosedAndAgentQuitsAfterDelay)
{
    const QString sr = h.plugDrive(kVendor, kProduct, /*trayOpen*/ true);
    h.setPreferences(countdownOf(10));
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);

    const auto quit = h.waitFor(QStringLiteral("agent quit status"));
    ASSERT_TRUE(quit);
    const auto close = h.first(QStringLiteral("tray-close ") + sr);
    ASSERT_TRUE(close);
    EXPECT_FALSE(h.drive(sr)->trayOpen);
    EXPECT_FALSE(h.first(QStringLiteral("agent countdown armed")));
    EXPECT_GE(AgentHarness::seconds(*close, *quit), 1.5);
}

TEST_F(AgentEndToEnd, MountedIdleDiscIsEjectedCountdownArmedAndTrayClosedAtDeadline)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false, /*disc*/ true, /*mounted*/ true);
    h.setPreferences(countdownOf(2));
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);

    const auto armed = h.waitFor(QStringLiteral("agent countdown armed"));
    ASSERT_TRUE(armed);
    EXPECT_TRUE(h.drive(sr)->trayOpen);
    EXPECT_FALSE(h.drive(sr)->volumes.first().mounted);
    const auto unmount = h.first(QStringLiteral("unmount ") + sr);
    ASSERT_TRUE(unmount);
    EXPECT_LE(unmount->time, armed->time);

    const auto quit = h.waitFor(QStringLiteral("agent quit status"));
    ASSERT_TRUE(quit);
    const auto close = h.first(QStringLiteral("tray-close ") + sr);
    ASSERT_TRUE(close);
    EXPECT_GE(AgentHarness::seconds(*armed, *close), 1.9);
    EXPECT_FALSE(h.drive(sr)->trayOpen);

    // The countdown text counted the whole seconds down, first filled 0.2 s after arming.
    const auto firstCount = h.first(QStringLiteral("agent countdown 1"));
    ASSERT_TRUE(firstCount);
    EXPECT_GE(AgentHarness::seconds(*armed, *firstCount), 0.15);
    EXPECT_TRUE(h.first(QStringLiteral("agent countdown 0")));
}

TEST_F(AgentEndToEnd, BusyDiscShowsAlertArmsNothingAndQuitsAfterDismissal)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false, true, true);
    ASSERT_EQ(h.machine().setBusy(sr, true), 0);
    h.setPreferences(countdownOf(10));
    h.setAlertAnswers({0});
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);

    const auto quit = h.waitFor(QStringLiteral("agent quit status"));
    ASSERT_TRUE(quit);
    const QList<QJsonObject> shown = h.shownAlerts();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.first().value(QStringLiteral("message")).toString().startsWith(QStringLiteral("The disc is busy.\n")));
    EXPECT_EQ(shown.first().value(QStringLiteral("buttons")).toArray().size(), 1);
    EXPECT_FALSE(h.first(QStringLiteral("agent countdown armed")));
    EXPECT_FALSE(h.drive(sr)->trayOpen);
    EXPECT_TRUE(h.drive(sr)->volumes.first().mounted);

    const auto dismissed = h.first(QStringLiteral("agent busy-alert dismissed"));
    ASSERT_TRUE(dismissed);
    EXPECT_GE(AgentHarness::seconds(*dismissed, *quit), 1.5);
}

TEST_F(AgentEndToEnd, DriveRememberedAsSlotLoadingGetsNoCountdown)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false);
    QVariantMap prefs = countdownOf(10);
    prefs.insert(QStringLiteral("deviceProperties"), rememberedAsSlotLoading());
    h.setPreferences(prefs);
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);

    const auto quit = h.waitFor(QStringLiteral("agent quit status"));
    ASSERT_TRUE(quit);
    const auto open = h.first(QStringLiteral("tray-open ") + sr);
    ASSERT_TRUE(open);
    EXPECT_TRUE(h.drive(sr)->trayOpen);
    EXPECT_FALSE(h.first(QStringLiteral("agent countdown armed")));
    EXPECT_GE(AgentHarness::seconds(*open, *quit), 1.5);
}

TEST_F(AgentEndToEnd, ZeroOrNegativeIntervalArmsNoCountdown)
{
    for (double interval : {0.0, -5.0}) {
        SCOPED_TRACE(interval);
        AgentHarness run;
        const QString sr = run.plugDrive(kVendor, kProduct, false);
        run.setPreferences(countdownOf(interval));
        EXPECT_EQ(run.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);
        ASSERT_TRUE(run.waitFor(QStringLiteral("agent quit status")));
        EXPECT_TRUE(run.drive(sr)->trayOpen);
        EXPECT_FALSE(run.first(QStringLiteral("agent countdown armed")));
        EXPECT_TRUE(run.waitForAgentsToQuit(10000));
    }
}

TEST_F(AgentEndToEnd, TrayPushedInByHandIsRecheckedFiveTimesWithoutCloseCommand)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false);
    h.setPreferences(countdownOf(1.5));
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent countdown armed")));
    ASSERT_EQ(h.machine().moveTrayByHand(sr, false), 0);

    const auto quit = h.waitFor(QStringLiteral("agent quit status"));
    ASSERT_TRUE(quit);
    const QList<SimLogEntry> rechecks = h.entries(QStringLiteral("agent deadline recheck"));
    ASSERT_EQ(rechecks.size(), 5);
    for (int i = 1; i < rechecks.size(); ++i)
        EXPECT_GE(AgentHarness::seconds(rechecks.at(i - 1), rechecks.at(i)), 0.45);
    EXPECT_GE(AgentHarness::seconds(rechecks.last(), *quit), 0.45);
    EXPECT_FALSE(h.first(QStringLiteral("tray-close ")));
    EXPECT_FALSE(h.drive(sr)->trayOpen);
}

TEST_F(AgentEndToEnd, PositionBeyondTheListOrNegativeSelectsTheLastDrive)
{
    for (const char* position : {"7", "-1"}) {
        SCOPED_TRACE(position);
        AgentHarness run;
        const QString first = run.plugDrive(kVendor, kProduct, false);
        const QString last = run.plugDrive(kVendor, QStringLiteral("BD-RE"), false);
        run.setPreferences(laterLaunch());
        EXPECT_EQ(run.qneject({QStringLiteral("-d"), QString::fromLatin1(position)}).exitCode, 0);
        ASSERT_TRUE(run.waitFor(QStringLiteral("agent quit status")));
        EXPECT_TRUE(run.drive(last)->trayOpen);
        EXPECT_FALSE(run.drive(first)->trayOpen);
        EXPECT_TRUE(run.first(QStringLiteral("agent drive position=1")));
        EXPECT_TRUE(run.waitForAgentsToQuit(10000));
    }
}

TEST_F(AgentEndToEnd, FirstLaunchAnsweredYesOpensSetupAndMovesNoDrive)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false);
    const QString prefix = h.makeInstallCopy({QStringLiteral("qneject"), QStringLiteral("QNTraylift")});
    const QString marker = h.folder() + QStringLiteral("/setup-ran");
    {
        QFile setup(prefix + QStringLiteral("/bin/QNTrayliftSetup"));
        ASSERT_TRUE(setup.open(QIODevice::WriteOnly));
        setup.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(marker).toUtf8());
        setup.setPermissions(setup.permissions() | QFileDevice::ExeOwner);
    }
    h.setAlertAnswers({0});
    EXPECT_EQ(h.qneject({}, prefix).exitCode, 0);

    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    EXPECT_TRUE(qn::test::waitUntil([&] { return QFile::exists(marker); }, 10000));
    EXPECT_TRUE(h.preferences().value(QStringLiteral("isNotFirstTime")).toBool());
    const QList<QJsonObject> shown = h.shownAlerts();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown.first().value(QStringLiteral("buttons")).toArray().size(), 2);
    EXPECT_FALSE(h.first(QStringLiteral("tray-")));
    EXPECT_FALSE(h.first(QStringLiteral("agent panel shown")));
    EXPECT_FALSE(h.drive(sr)->trayOpen);
}

TEST_F(AgentEndToEnd, SecondRequestDuringCountdownClosesAtOnceWithoutSecondOperation)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false);
    h.setPreferences(countdownOf(30));
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent countdown armed")));
    EXPECT_TRUE(h.drive(sr)->trayOpen);

    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);
    const auto quit = h.waitFor(QStringLiteral("agent quit status"));
    ASSERT_TRUE(quit);
    const QList<SimLogEntry> requests = h.entries(QStringLiteral("agent request"));
    ASSERT_EQ(requests.size(), 2);
    // Closed long before the 30 s deadline: the wait for the quit above is shorter.
    ASSERT_TRUE(h.first(QStringLiteral("tray-close ") + sr));
    EXPECT_EQ(h.entries(QStringLiteral("agent panel shown")).size(), 1);
    EXPECT_EQ(h.agentPids().size(), 1);
    EXPECT_FALSE(h.drive(sr)->trayOpen);
}

TEST_F(AgentEndToEnd, TwentyConcurrentTriggersMakeOneAgentThatTogglesOnce)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false);
    h.setPreferences(laterLaunch());
    std::vector<std::unique_ptr<QProcess>> triggers;
    for (int i = 0; i < 20; ++i) {
        auto p = std::make_unique<QProcess>();
        p->start(qn::test::stageDir() + QStringLiteral("/bin/qneject"), {QStringLiteral("-d"), QStringLiteral("0")});
        triggers.push_back(std::move(p));
    }
    for (auto& p : triggers) {
        ASSERT_TRUE(p->waitForFinished(30000));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
        EXPECT_TRUE(p->readAllStandardOutput().isEmpty());
    }
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    ASSERT_TRUE(h.waitForAgentsToQuit(15000));

    // Requests that arrive before the operation runs join it; one that arrives
    // during the wind-down is a new press and toggles again. Either way each
    // operation moves the tray exactly once.
    EXPECT_EQ(h.agentPids().size(), 1);
    EXPECT_EQ(h.entries(QStringLiteral("agent request index=0")).size(), 20);
    const qsizetype operations = h.entries(QStringLiteral("agent drive position=0")).size();
    EXPECT_GE(operations, 1);
    const qsizetype opens = h.entries(QStringLiteral("tray-open ") + sr).size();
    const qsizetype closes = h.entries(QStringLiteral("tray-close ") + sr).size();
    EXPECT_EQ(opens + closes, operations);
    EXPECT_EQ(opens - closes, operations % 2);  // open, close, open, ...
    EXPECT_EQ(h.drive(sr)->trayOpen, operations % 2 == 1);
}

TEST_F(AgentEndToEnd, ReopenDuringCountdownClosesTheTrayAtOnce)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false);
    h.setPreferences(countdownOf(30));
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent countdown armed")));

    // Without -d a running agent is reopened rather than sent a request.
    EXPECT_EQ(h.qneject({}).exitCode, 0);
    const auto quit = h.waitFor(QStringLiteral("agent quit status"));
    ASSERT_TRUE(quit);
    const auto closeNow = h.first(QStringLiteral("agent close-now"));
    ASSERT_TRUE(closeNow);
    EXPECT_TRUE(h.first(QStringLiteral("tray-close ") + sr));
    EXPECT_EQ(h.entries(QStringLiteral("agent request")).size(), 1);
    EXPECT_FALSE(h.first(QStringLiteral("agent launch")));
    EXPECT_FALSE(h.drive(sr)->trayOpen);
}

// --- A real desktop's edges -------------------------------------------------------

namespace {

// The agent's environment as a terminal over ssh, a tty or a user service
// gives it: no display of any kind, no scripted answers; a session bus only
// when one is given.
QProcessEnvironment withoutDisplay(const QString& sessionBus = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QNLAB_TEST_ANSWERS",
                             "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(QString::fromLatin1(name));
    if (!sessionBus.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus);
    return env;
}

// A private session bus with a notification service (python3-dbusmock's
// notification daemon) that logs the calls it gets.
class NotificationService {
public:
    bool start(const QString& folder)
    {
        QString why;
        _log = folder + QStringLiteral("/notifications.log");
        return _bus.start(&why) && _bus.startNotificationDaemon(_log, &why);
    }
    QString address() const { return _bus.address(); }
    QByteArray calls() const
    {
        QFile f(_log);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    qn::test::PrivateSessionBus _bus;
    QString _log;
};

}  // namespace

TEST_F(AgentEndToEnd, WithoutDisplayNothingWaitsAndTheNextPressIsServed)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false, true, true);
    ASSERT_EQ(h.machine().setBusy(sr, true), 0);
    h.setPreferences({});  // first launch: the welcome question comes first
    NotificationService notifications;
    if (!notifications.start(h.folder()))
        GTEST_SKIP() << "no private session bus with python3-dbusmock's notification daemon";

    QProcess agent;
    agent.setProcessEnvironment(withoutDisplay(notifications.address()));
    agent.start(qn::test::stageDir() + QStringLiteral("/bin/QNTraylift"), {});
    ASSERT_TRUE(agent.waitForFinished(20000)) << "the agent waited for somebody";
    const QByteArray err = agent.readAllStandardError();
    EXPECT_TRUE(err.contains("The disc is busy.")) << err.constData();
    EXPECT_TRUE(qn::test::waitUntil([&] { return notifications.calls().contains("The disc is busy."); }, 5000))
        << "no desktop notification: " << notifications.calls().constData();

    // The question took its safe answer ("No"), so the drive was acted on.
    const QList<QJsonObject> shown = h.shownAlerts();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown.at(0).value(QStringLiteral("answer")).toInt(), 1);
    EXPECT_TRUE(h.preferences().value(QStringLiteral("isNotFirstTime")).toBool());
    const auto alert = h.first(QStringLiteral("agent busy-alert shown"));
    const auto quit = h.first(QStringLiteral("agent quit status"));
    ASSERT_TRUE(alert && quit);
    EXPECT_TRUE(h.drive(sr)->volumes.first().mounted);

    // The next press, still without a display, opens the now idle disc's tray.
    ASSERT_EQ(h.machine().setBusy(sr, false), 0);
    QProcess trigger;
    trigger.setProcessEnvironment(withoutDisplay());
    trigger.start(qn::test::stageDir() + QStringLiteral("/bin/qneject"), {QStringLiteral("-d"), QStringLiteral("0")});
    ASSERT_TRUE(trigger.waitForFinished(20000));
    ASSERT_TRUE(h.waitFor(QStringLiteral("eject ") + sr + QStringLiteral(" tray-open")));
    ASSERT_TRUE(h.waitForAgentsToQuit(15000));
    EXPECT_TRUE(h.drive(sr)->trayOpen);
    EXPECT_EQ(h.entries(QStringLiteral("agent quit status")).size(), 2);
}

TEST_F(AgentEndToEnd, PressDuringTheWindDownRunsTheSwitchAgain)
{
    const QString sr = h.plugDrive(kVendor, kProduct, /*trayOpen*/ true);
    h.setPreferences(laterLaunch());
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent will quit in 1600")));
    EXPECT_FALSE(h.drive(sr)->trayOpen);

    // Pressed again to open what the first press closed.
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    EXPECT_TRUE(h.first(QStringLiteral("agent quit cancelled by request")));
    EXPECT_EQ(h.agentPids().size(), 1);
    EXPECT_EQ(h.entries(QStringLiteral("agent drive position=0")).size(), 2);
    EXPECT_TRUE(h.drive(sr)->trayOpen);
}

namespace {

struct WordsCase {
    const char* name;
    bool slotLoading;       // the drive pushes its disc out instead of opening a tray
    bool trayMotor;
    bool disc;
    bool rememberedAsSlot;  // the tray check recorded the drive as slot-loading
    const char* expectedAlert;  // first words of the alert, or nullptr for none
    const char* volume = nullptr;  // the mounted volume's device name when it is not the drive's
};

}  // namespace

class AgentWords : public AgentEndToEnd, public ::testing::WithParamInterface<WordsCase> {};

TEST_P(AgentWords, AlertOnlyWhenSomethingIsWrongAndInItsOwnWords)
{
    const WordsCase& c = GetParam();
    h.hardware().plug(QStringLiteral("sr0"), kProduct, [&](qn::hardware::SimDrive& d) {
        d.vendor = kVendor;
        d.slotLoading = c.slotLoading;
        d.trayMotor = c.trayMotor;
        if (c.disc)
            qn::test::SimulatedMachine::withMountedDisc(d);
        if (c.volume)
            d.volumes.first().bsdName = QString::fromLatin1(c.volume);
    });
    QVariantMap prefs = laterLaunch();
    if (c.rememberedAsSlot)
        prefs.insert(QStringLiteral("deviceProperties"), rememberedAsSlotLoading());
    h.setPreferences(prefs);
    h.setAlertAnswers({0});
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("0")}).exitCode, 0);
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));

    const QList<QJsonObject> shown = h.shownAlerts();
    if (!c.expectedAlert) {
        EXPECT_TRUE(shown.isEmpty()) << shown.first().value(QStringLiteral("message")).toString().toStdString();
    } else {
        ASSERT_EQ(shown.size(), 1);
        EXPECT_TRUE(shown.first().value(QStringLiteral("message")).toString().startsWith(QLatin1String(c.expectedAlert)))
            << shown.first().value(QStringLiteral("message")).toString().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AgentWords,
    ::testing::Values(WordsCase{"SlotLoaderThatEjected", true, false, true, false, nullptr},
                      WordsCase{"EmptySlotLoaderKnownFromTheCheck", true, false, false, true, nullptr},
                      WordsCase{"TrayWithoutMotor", false, false, true, false,
                                "This drive cannot open or close its tray"},
                      // Nothing the agent can unmount, yet the drive refuses: it is in use.
                      WordsCase{"DriveInUseUnderAnotherName", false, true, true, false, "The disc is busy.", "DATA"}),
    [](const ::testing::TestParamInfo<WordsCase>& info) { return std::string(info.param.name); });

namespace {

std::string damagedFileName(const ::testing::TestParamInfo<QByteArray>& info)
{
    static const char* const names[] = {"Truncated", "Garbage", "WrongRoot"};
    return names[info.index];
}

}  // namespace

class AgentDamagedPreferences : public AgentEndToEnd, public ::testing::WithParamInterface<QByteArray> {};

TEST_P(AgentDamagedPreferences, FileIsKeptAsideAndTheAgentStartsFromTheDefaults)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false);
    const QString prefs = qn::UserDefaults::pathForDomain(QStringLiteral("com.qnlab.QNTraylift"));
    {
        QFile f(prefs);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(GetParam());
    }
    h.setAlertAnswers({1});  // the defaults make this a first launch: "No"

    QProcess agent;
    agent.start(qn::test::stageDir() + QStringLiteral("/bin/QNTraylift"), {});
    ASSERT_TRUE(agent.waitForFinished(20000));
    const QByteArray err = agent.readAllStandardError();
    EXPECT_TRUE(err.contains(QFile::encodeName(prefs + QStringLiteral(".damaged")))) << err.constData();

    QFile kept(prefs + QStringLiteral(".damaged"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), GetParam());
    EXPECT_TRUE(h.preferences().value(QStringLiteral("isNotFirstTime")).toBool());
    EXPECT_EQ(h.shownAlerts().size(), 1);
    EXPECT_TRUE(h.drive(sr)->trayOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AgentDamagedPreferences,
    ::testing::Values(
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>autoCloseTray</key><tr"),
        QByteArray("\x00\x13\x37 not a property list \xff\xfe", 26),
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><integer>1</integer></array></plist>")),
    damagedFileName);
