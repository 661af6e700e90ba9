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

// The socket folder is the only thing standing between the user's programs and
// everyone else: it must be private and the user's own.
#include "TestSupport.h"
#include "events/EventManager.h"

#include <QDir>
#include <sys/stat.h>

namespace {

struct RuntimeDirGuard {
    QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    ~RuntimeDirGuard() { qputenv("XDG_RUNTIME_DIR", saved); }
};

}  // namespace

TEST(EventManagerRuntimeDirectory, CreatedPrivateAndLooseModesTightened)
{
    RuntimeDirGuard guard;
    const QString base = qn::test::homeDir() + QStringLiteral("/rt-private");
    QDir().mkpath(base);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base));
    QString error;
    const QString dir = EventManager::runtimeDirectory(&error);
    ASSERT_EQ(dir, base + QStringLiteral("/qnlab")) << error.toStdString();
    struct stat st{};
    ASSERT_EQ(::stat(QFile::encodeName(dir).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ::chmod(QFile::encodeName(dir).constData(), 0777);
    EXPECT_EQ(EventManager::runtimeDirectory(), dir);
    ::stat(QFile::encodeName(dir).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(EventManagerRuntimeDirectory, ForeignOrLinkedFoldersAreRefused)
{
    RuntimeDirGuard guard;
    const QString base = qn::test::homeDir() + QStringLiteral("/rt-refused");
    QDir().mkpath(base);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base));
    // A symbolic link where the folder should be.
    QDir().mkpath(base + QStringLiteral("/elsewhere"));
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/elsewhere"), base + QStringLiteral("/qnlab")));
    QString error;
    EXPECT_TRUE(EventManager::runtimeDirectory(&error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    QFile::remove(base + QStringLiteral("/qnlab"));
    // A plain file.
    QFile f(base + QStringLiteral("/qnlab"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(EventManager::runtimeDirectory().isEmpty());
    QFile::remove(base + QStringLiteral("/qnlab"));
    // Another user's folder (needs root to create one).
    if (::geteuid() == 0) {
        QDir().mkpath(base + QStringLiteral("/qnlab"));
        ASSERT_EQ(::chown(QFile::encodeName(base + QStringLiteral("/qnlab")).constData(), 65534, 65534), 0);
        error.clear();
        EXPECT_TRUE(EventManager::runtimeDirectory(&error).isEmpty());
        EXPECT_TRUE(error.contains(QStringLiteral("another user"))) << error.toStdString();
    }
    // A variable naming no folder.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base + QStringLiteral("/missing")));
    EXPECT_TRUE(EventManager::runtimeDirectory().isEmpty());
}
