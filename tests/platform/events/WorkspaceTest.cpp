// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "events/ApplicationNotifications.h"
#include "events/Workspace.h"

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
    qn::NotificationCenter::Token token;
    Recorder()
    {
        token = Workspace::notificationCenter().addObserver(
            QString::fromLatin1(qn::kWorkspaceDidTerminateApplicationNotification), nullptr,
            [this](const qn::Notification& n) { seen.push_back(n); });
    }
    ~Recorder() { Workspace::notificationCenter().removeObserver(token); }
    std::vector<int> pids() const
    {
        std::vector<int> out;
        for (const qn::Notification& n : seen)
            out.push_back(n.userInfo.value(QString::fromLatin1(qn::kApplicationProcessIdentifierKey)).toInt());
        return out;
    }
};

// Ends a watched process of its own and waits for its report: every report
// due before it has been delivered by then, so what has not arrived yet does
// not come from the watch that ran before this point.
void syncOnSentinel(Recorder& rec)
{
    const pid_t sentinel = startSleeper();
    ASSERT_GT(sentinel, 0);
    const auto psn = ProcessSerialNumber::forPid(sentinel);
    ASSERT_TRUE(psn);
    ASSERT_TRUE(Workspace::sharedWorkspace().watchProcess(*psn));
    ::kill(sentinel, SIGKILL);
    ASSERT_TRUE(qn::test::waitUntil([&] { return !rec.pids().empty() && rec.pids().back() == sentinel; }, 5000));
    ::waitpid(sentinel, nullptr, 0);
}

}  // namespace

// Both ways of noticing an end: pidfd, and the polling fallback for kernels
// without it. (How fast each reports is measured in bench/workspace-latency.)
class WorkspaceEnd : public testing::TestWithParam<bool> {
protected:
    void TearDown() override { Workspace::sharedWorkspace().setPollingOnly(false); }
};

TEST_P(WorkspaceEnd, EndOfWatchedProcessIsReportedOnceWithItsIdentity)
{
    Workspace::sharedWorkspace().setPollingOnly(GetParam());
    const pid_t pid = startSleeper();
    ASSERT_GT(pid, 0);
    const auto psn = ProcessSerialNumber::forPid(pid);
    ASSERT_TRUE(psn);
    Recorder rec;
    ASSERT_TRUE(Workspace::sharedWorkspace().watchProcess(*psn));
    ASSERT_NO_FATAL_FAILURE(syncOnSentinel(rec));
    EXPECT_EQ(rec.seen.size(), 1u) << "reported before it ended";

    ::kill(pid, SIGKILL);
    ASSERT_TRUE(qn::test::waitUntil([&] { return rec.seen.size() == 2; }, 5000));
    const QVariantMap info = rec.seen[1].userInfo;
    EXPECT_EQ(info.value(QString::fromLatin1(qn::kApplicationProcessSerialNumberHighKey)).toUInt(), psn->highLongOfPSN);
    EXPECT_EQ(info.value(QString::fromLatin1(qn::kApplicationProcessSerialNumberLowKey)).toUInt(), psn->lowLongOfPSN);
    EXPECT_EQ(info.value(QString::fromLatin1(qn::kApplicationPathKey)).toString(),
              QFileInfo(QStringLiteral("/bin/sleep")).canonicalFilePath());
    EXPECT_EQ(Workspace::sharedWorkspace().watchedCount(), 0);
    ::waitpid(pid, nullptr, 0);
}

INSTANTIATE_TEST_SUITE_P(PidfdAndPolling, WorkspaceEnd, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Polling" : "Pidfd"; });

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
    ASSERT_NO_FATAL_FAILURE(syncOnSentinel(rec));
    // A once, B (unwatched) never, then the sentinel.
    ASSERT_EQ(rec.pids().size(), 2u);
    EXPECT_EQ(rec.pids()[0], a);
    ::waitpid(a, nullptr, 0);
    ::waitpid(b, nullptr, 0);
}
