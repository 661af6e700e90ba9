// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "events/ApplicationNotifications.h"
#include "events/Workspace.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace qn::events;

namespace {

pid_t startSleeper()
{
    pid_t pid = -1;
    char prog[] = "/bin/sleep";
    char arg[] = "60";
    char* argv[] = {prog, arg, nullptr};
    if (::posix_spawn(&pid, prog, nullptr, nullptr, argv, environ) != 0)
        return -1;
    return pid;
}

struct Recorder {
    std::vector<qn::Notification> seen;
    std::vector<qint64> atMs;
    QElapsedTimer clock;
    qn::NotificationCenter::Token token;
    Recorder()
    {
        clock.start();
        token = Workspace::notificationCenter().addObserver(
            QString::fromLatin1(qn::kWorkspaceDidTerminateApplicationNotification), nullptr,
            [this](const qn::Notification& n) {
                seen.push_back(n);
                atMs.push_back(clock.elapsed());
            });
    }
    ~Recorder() { Workspace::notificationCenter().removeObserver(token); }
};

void expectEndReportedQuickly(bool polling)
{
    Workspace::sharedWorkspace().setPollingOnly(polling);
    const pid_t pid = startSleeper();
    ASSERT_GT(pid, 0);
    const auto psn = ProcessSerialNumber::forPid(pid);
    ASSERT_TRUE(psn);
    Recorder rec;
    ASSERT_TRUE(Workspace::sharedWorkspace().watchProcess(*psn));
    qn::test::waitUntil([] { return false; }, 100);
    EXPECT_TRUE(rec.seen.empty()) << "reported before it ended";

    const qint64 killedAt = rec.clock.elapsed();
    ::kill(pid, SIGKILL);
    ASSERT_TRUE(qn::test::waitUntil([&] { return !rec.seen.empty(); }, 5000));
    EXPECT_LE(rec.atMs[0] - killedAt, 200) << (polling ? "polling" : "pidfd");
    const QVariantMap info = rec.seen[0].userInfo;
    EXPECT_EQ(info.value(QString::fromLatin1(qn::kApplicationProcessSerialNumberHighKey)).toUInt(), psn->highLongOfPSN);
    EXPECT_EQ(info.value(QString::fromLatin1(qn::kApplicationProcessSerialNumberLowKey)).toUInt(), psn->lowLongOfPSN);
    EXPECT_EQ(info.value(QString::fromLatin1(qn::kApplicationPathKey)).toString(),
              QFileInfo(QStringLiteral("/bin/sleep")).canonicalFilePath());
    EXPECT_EQ(Workspace::sharedWorkspace().watchedCount(), 0);
    ::waitpid(pid, nullptr, 0);
    Workspace::sharedWorkspace().setPollingOnly(false);
}

}  // namespace

TEST(Workspace, EndOfWatchedProcessIsReportedWithin200ms)
{
    expectEndReportedQuickly(false);
}

TEST(Workspace, PollingFallbackAlsoReportsWithin200ms)
{
    expectEndReportedQuickly(true);
}

TEST(Workspace, ReusedPidIsReportedAsEndedAtOnce)
{
    Recorder rec;
    ProcessSerialNumber stale = ProcessSerialNumber::current();
    stale.highLongOfPSN += 1;  // our pid, someone else's start time
    ASSERT_TRUE(Workspace::sharedWorkspace().watchProcess(stale));
    ASSERT_TRUE(qn::test::waitUntil([&] { return !rec.seen.empty(); }, 2000));
    EXPECT_EQ(rec.seen[0].userInfo.value(QString::fromLatin1(qn::kApplicationProcessSerialNumberHighKey)).toUInt(),
              stale.highLongOfPSN);
    EXPECT_FALSE(Workspace::sharedWorkspace().watchProcess({}));
}

TEST(Workspace, UnwatchedOrDoubleWatchedProcessesAreReportedAtMostOnce)
{
    Recorder rec;
    const pid_t a = startSleeper(), b = startSleeper();
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    const auto psnA = ProcessSerialNumber::forPid(a), psnB = ProcessSerialNumber::forPid(b);
    ASSERT_TRUE(psnA && psnB);
    Workspace& ws = Workspace::sharedWorkspace();
    ASSERT_TRUE(ws.watchProcess(*psnA));
    ASSERT_TRUE(ws.watchProcess(*psnA));
    ASSERT_TRUE(ws.watchProcess(*psnB));
    ws.unwatchProcess(*psnB);
    ::kill(a, SIGKILL);
    ::kill(b, SIGKILL);
    ASSERT_TRUE(qn::test::waitUntil([&] { return !rec.seen.empty(); }, 5000));
    qn::test::waitUntil([] { return false; }, 300);
    ASSERT_EQ(rec.seen.size(), 1u);
    EXPECT_EQ(rec.seen[0].userInfo.value(QString::fromLatin1(qn::kApplicationProcessIdentifierKey)).toInt(), a);
    ::waitpid(a, nullptr, 0);
    ::waitpid(b, nullptr, 0);
}
