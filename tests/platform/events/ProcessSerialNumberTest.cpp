// SPDX-License-Identifier: MIT
#include "events/ProcessSerialNumber.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace qn::events;

TEST(ProcessSerialNumber, CurrentProcessCarriesPidAndStartTime)
{
    const ProcessSerialNumber self = ProcessSerialNumber::current();
    EXPECT_EQ(self.pid(), ::getpid());
    QFile stat(QStringLiteral("/proc/self/stat"));
    ASSERT_TRUE(stat.open(QIODevice::ReadOnly));
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    EXPECT_EQ(self.highLongOfPSN, quint32(fields[19].toULongLong() & 0xffffffffu));
    EXPECT_TRUE(self.isAlive());
    EXPECT_EQ(self.executablePath(), QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget());
}

TEST(ProcessSerialNumber, WrongStartWordMeansTheProcessIsGone)
{
    // A pid that is in use, paired with another start time, is what a reused
    // pid looks like to the holder of an old address.
    ProcessSerialNumber stale = ProcessSerialNumber::current();
    stale.highLongOfPSN += 1;
    EXPECT_FALSE(stale.isAlive());
    EXPECT_TRUE(stale.executablePath().isEmpty());
    EXPECT_FALSE(ProcessSerialNumber{}.isAlive());
}

TEST(ProcessSerialNumber, EndedChildIsGoneEvenBeforeItIsReaped)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    const auto psn = ProcessSerialNumber::forPid(child);
    ASSERT_TRUE(psn);
    EXPECT_TRUE(psn->isAlive());
    ::kill(child, SIGKILL);
    // Zombie until reaped: already gone for us.
    for (int i = 0; i < 200 && psn->isAlive(); ++i)
        ::usleep(5000);
    EXPECT_FALSE(psn->isAlive());
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(psn->isAlive());
}
