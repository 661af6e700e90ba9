// The agent end to end: real qneject and QNTraylift processes on a simulated
// machine. Timings come from the machine's event log, with generous bounds.
#include "AgentHarness.h"

#include "TestSupport.h"

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
    EXPECT_NEAR(AgentHarness::seconds(*close, *quit), 1.6, 1.0);
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
    EXPECT_LE(AgentHarness::seconds(*armed, *close), 3.5);
    EXPECT_LE(AgentHarness::seconds(*close, *quit), 1.0);  // quits at once, not after 1.6 s
    EXPECT_FALSE(h.drive(sr)->trayOpen);

    // The countdown text counted the whole seconds down, first filled 0.2 s after arming.
    const auto firstCount = h.first(QStringLiteral("agent countdown 1"));
    ASSERT_TRUE(firstCount);
    EXPECT_GE(AgentHarness::seconds(*armed, *firstCount), 0.15);
    EXPECT_LE(AgentHarness::seconds(*armed, *firstCount), 1.0);
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
    EXPECT_LE(AgentHarness::seconds(*dismissed, *quit), 3.0);
}

TEST_F(AgentEndToEnd, DriveRememberedAsSlotLoadingGetsNoCountdown)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false);
    QVariantMap prefs = countdownOf(10);
    prefs.insert(QStringLiteral("deviceProperties"),
                 QVariantList{QVariantMap{{QStringLiteral("vendorName"), kVendor},
                                          {QStringLiteral("productName"), kProduct},
                                          {QStringLiteral("slotLoading"), true}}});
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
    for (int i = 1; i < rechecks.size(); ++i) {
        EXPECT_GE(AgentHarness::seconds(rechecks.at(i - 1), rechecks.at(i)), 0.45);
        EXPECT_LE(AgentHarness::seconds(rechecks.at(i - 1), rechecks.at(i)), 1.5);
    }
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

TEST_F(AgentEndToEnd, FirstLaunchAnsweredNoRunsTheOperation)
{
    const QString sr = h.plugDrive(kVendor, kProduct, false);
    h.setAlertAnswers({1});
    EXPECT_EQ(h.qneject({}).exitCode, 0);
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    EXPECT_TRUE(h.preferences().value(QStringLiteral("isNotFirstTime")).toBool());
    EXPECT_TRUE(h.drive(sr)->trayOpen);
    EXPECT_EQ(h.shownAlerts().size(), 1);
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
    const auto close = h.first(QStringLiteral("tray-close ") + sr);
    ASSERT_TRUE(close);
    EXPECT_LE(AgentHarness::seconds(requests.last(), *close), 2.0);
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

    EXPECT_EQ(h.agentPids().size(), 1);
    EXPECT_EQ(h.entries(QStringLiteral("agent request index=0")).size(), 20);
    EXPECT_EQ(h.entries(QStringLiteral("agent panel shown")).size(), 1);
    EXPECT_EQ(h.entries(QStringLiteral("tray-open ") + sr).size(), 1);
    EXPECT_FALSE(h.first(QStringLiteral("tray-close ")));
    EXPECT_TRUE(h.drive(sr)->trayOpen);
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
