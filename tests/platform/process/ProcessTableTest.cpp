// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "process/ProcessTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace qn::process;

namespace {

// Runs /bin/sleep under another name: the kernel takes the command name from
// the name the program was started by (a symbolic link here).
class NamedSleepers {
public:
    explicit NamedSleepers(const QString& name) : _link(_dir.path() + QLatin1Char('/') + name)
    {
        QFile::link(QStringLiteral("/bin/sleep"), _link);
    }
    ~NamedSleepers()
    {
        for (pid_t pid : _pids) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    pid_t start()
    {
        const QByteArray path = QFile::encodeName(_link);
        char arg[] = "60";
        char* argv[] = {const_cast<char*>(path.constData()), arg, nullptr};
        pid_t pid = -1;
        if (::posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ) != 0)
            return -1;
        _pids.push_back(pid);
        // Wait until the exec has happened and the name is visible.
        qn::test::waitUntil([&] {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            return comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == QFile::encodeName(_link).split('/').last().left(15);
        }, 5000);
        return pid;
    }
    void stop(pid_t pid)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        _pids.erase(std::remove(_pids.begin(), _pids.end(), pid), _pids.end());
    }

private:
    QTemporaryDir _dir;
    QString _link;
    std::vector<pid_t> _pids;
};

}  // namespace

TEST(ProcessTable, FindsEveryProcessOfAName)
{
    NamedSleepers sleepers(QStringLiteral("qnPTfinds"));
    const pid_t a = sleepers.start(), b = sleepers.start();
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    pid_t pids[8];
    size_t count = 99;
    int err = 99;
    ASSERT_EQ(allPidsForName("qnPTfinds", pids, 8, &count, &err), NameLookup::Found);
    EXPECT_EQ(err, 0);
    ASSERT_EQ(count, 2u);
    std::vector<pid_t> found(pids, pids + count);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<pid_t>{std::min(a, b), std::max(a, b)}));
    EXPECT_EQ(pids[2], 0);  // the rest of the buffer is cleared
    // Two processes: the single-process lookup refuses to choose.
    EXPECT_EQ(pidForName("qnPTfinds"), -1);
    sleepers.stop(b);
    EXPECT_EQ(pidForName("qnPTfinds"), a);
}

TEST(ProcessTable, LongNamesCompareOnTheFifteenCharactersLinuxKeeps)
{
    NamedSleepers sleepers(QStringLiteral("qnUserNotificationCenter"));
    const pid_t pid = sleepers.start();
    ASSERT_GT(pid, 0);
    pid_t found = 0;
    size_t count = 0;
    EXPECT_EQ(allPidsForName("qnUserNotificationCenter", &found, 1, &count), NameLookup::Found);
    EXPECT_EQ(found, pid);
    // The kernel's cut name, and any name sharing those 15 characters, match.
    EXPECT_EQ(pidForName("qnUserNotificat"), pid);
    EXPECT_EQ(pidForName("qnUserNotificatXYZ"), pid);
    // Shorter names and other prefixes do not.
    EXPECT_EQ(allPidsForName("qnUserNotifica", &found, 1, &count), NameLookup::NotFound);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(allPidsForName("qnUser", &found, 1, &count), NameLookup::NotFound);
}

TEST(ProcessTable, MoreMatchesThanTheBufferHoldsIsAnError)
{
    NamedSleepers sleepers(QStringLiteral("qnPTmany"));
    for (int i = 0; i < 3; ++i)
        ASSERT_GT(sleepers.start(), 0);
    pid_t pids[2];
    size_t count = 0;
    EXPECT_EQ(allPidsForName("qnPTmany", pids, 2, &count), NameLookup::BufferTooSmall);
    EXPECT_EQ(count, 2u);
    pid_t three[3];
    EXPECT_EQ(allPidsForName("qnPTmany", three, 3, &count), NameLookup::Found);
    EXPECT_EQ(count, 3u);
}

TEST(ProcessTable, MissingArgumentsAndUnknownNames)
{
    pid_t pids[4] = {1, 2, 3, 4};
    size_t count = 7;
    EXPECT_EQ(allPidsForName(nullptr, pids, 4, &count), NameLookup::BadArgument);
    EXPECT_EQ(allPidsForName("init", nullptr, 4, &count), NameLookup::BadArgument);
    EXPECT_EQ(allPidsForName("init", pids, 0, &count), NameLookup::BadArgument);
    EXPECT_EQ(allPidsForName("init", pids, 4, nullptr), NameLookup::BadArgument);
    EXPECT_EQ(allPidsForName("qn-no-such-process-name", pids, 4, &count), NameLookup::NotFound);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(pids[0], 0);
    EXPECT_EQ(pidForName("qn-no-such-process-name"), -1);
}
