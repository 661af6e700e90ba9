// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "events/RuntimeDirectory.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using qn::events::runtimeDirectory;

// The socket folder is the only thing standing between the user's programs and
// everyone else: it must be private and the user's own.

namespace {

struct RuntimeDirGuard {
    QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    ~RuntimeDirGuard() { qputenv("XDG_RUNTIME_DIR", saved); }
};

}  // namespace

TEST(RuntimeDirectory, CreatedPrivateAndLooseModesTightened)
{
    RuntimeDirGuard guard;
    const QString base = qn::test::homeDir() + QStringLiteral("/rt-private");
    QDir().mkpath(base);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base));
    QString error;
    const QString dir = runtimeDirectory(&error);
    ASSERT_EQ(dir, base + QStringLiteral("/qnlab")) << error.toStdString();
    struct stat st{};
    ASSERT_EQ(::stat(QFile::encodeName(dir).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ::chmod(QFile::encodeName(dir).constData(), 0777);
    EXPECT_EQ(runtimeDirectory(), dir);
    ::stat(QFile::encodeName(dir).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(RuntimeDirectory, ForeignOrLinkedFoldersAreRefused)
{
    RuntimeDirGuard guard;
    const QString base = qn::test::homeDir() + QStringLiteral("/rt-refused");
    QDir().mkpath(base);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base));
    // A symbolic link where the folder should be.
    QDir().mkpath(base + QStringLiteral("/elsewhere"));
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/elsewhere"), base + QStringLiteral("/qnlab")));
    QString error;
    EXPECT_TRUE(runtimeDirectory(&error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    QFile::remove(base + QStringLiteral("/qnlab"));
    // A plain file.
    QFile f(base + QStringLiteral("/qnlab"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(runtimeDirectory().isEmpty());
    QFile::remove(base + QStringLiteral("/qnlab"));
    // Another user's folder (needs root to create one).
    if (::geteuid() == 0) {
        QDir().mkpath(base + QStringLiteral("/qnlab"));
        ASSERT_EQ(::chown(QFile::encodeName(base + QStringLiteral("/qnlab")).constData(), 65534, 65534), 0);
        error.clear();
        EXPECT_TRUE(runtimeDirectory(&error).isEmpty());
        EXPECT_TRUE(error.contains(QStringLiteral("another user"))) << error.toStdString();
    }
    // A variable naming no folder.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base + QStringLiteral("/missing")));
    EXPECT_TRUE(runtimeDirectory().isEmpty());
}
