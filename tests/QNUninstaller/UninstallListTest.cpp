// SPDX-License-Identifier: MIT
#include "QNUninstallWindowController.h"

#include "TestSupport.h"
#include "layout/Bundle.h"

#include <QDir>
#include <gtest/gtest.h>

using C = QNUninstallWindowController;

TEST(UninstallList, BlankAndIndentedLinesGiveOnlyPaths)
{
    const QString text = QStringLiteral("/opt/a\n\n   \n\t/opt/b\n  /opt/c/d e\n\n");
    EXPECT_EQ(C::parseUninstallList(text), (QStringList{"/opt/a", "/opt/b", "/opt/c/d e"}));
    EXPECT_TRUE(C::parseUninstallList(QString()).isEmpty());
    EXPECT_TRUE(C::parseUninstallList(QStringLiteral(" \n\r\n\t ")).isEmpty());
}

TEST(UninstallList, TrailingBlanksStayPartOfThePath)
{
    EXPECT_EQ(C::parseUninstallList(QStringLiteral("/opt/x \n/opt/y\t\n")), (QStringList{"/opt/x ", "/opt/y\t"}));
}

TEST(UninstallList, EveryNewlineCharacterSplitsButNotLineSeparators)
{
    // CR LF gives no empty item between the two words.
    EXPECT_EQ(C::parseUninstallList(QStringLiteral("/one\r\n/two")), (QStringList{"/one", "/two"}));
    const QString mixed = QStringLiteral("/a\v/b\f/c\r/d") + QChar(0x85) + QStringLiteral("/e");
    EXPECT_EQ(C::parseUninstallList(mixed), (QStringList{"/a", "/b", "/c", "/d", "/e"}));
    const QString ls = QStringLiteral("/f") + QChar(0x2028) + QStringLiteral("g");
    EXPECT_EQ(C::parseUninstallList(ls), QStringList{ls});
}

TEST(UninstallList, DangerousEntriesAreRefused)
{
    for (const char* path : {"/", "//", "/usr", "/etc/", "/home", "/ ", "usr/local/bin/x", "", "~/x",
                             "./x", "/usr/bin", "/usr/local/", "/usr/local/bin", "/var/lib",
                             "/opt/qn/../../etc", "/opt/./x", "/usr/lib/.."})
        EXPECT_FALSE(C::isSafeToRemove(QString::fromLatin1(path))) << path;
    EXPECT_FALSE(C::isSafeToRemove(QDir::homePath()));
    EXPECT_FALSE(C::isSafeToRemove(QDir::homePath() + "/"));
    const QString prefix = qn::Bundle::installPrefix();
    ASSERT_FALSE(prefix.isEmpty());
    for (const char* sub : {"", "/bin", "/lib", "/share", "/libexec", "/share/applications"})
        EXPECT_FALSE(C::isSafeToRemove(prefix + QLatin1String(sub))) << sub;
}

TEST(UninstallList, OrdinaryInstalledPathsAreRemovable)
{
    for (const char* path : {"/usr/local/bin/QNTraylift", "/usr/local/share/qnlab", "/opt/qn", "/usr/bin ",
                             "/usr/local/libexec/qnlab/qnlab-privileged-helper", "/tmp/x/y"})
        EXPECT_TRUE(C::isSafeToRemove(QString::fromLatin1(path))) << path;
    EXPECT_TRUE(C::isSafeToRemove(QDir::homePath() + "/.local/share/qnlab"));
    EXPECT_TRUE(C::isSafeToRemove(qn::Bundle::installPrefix() + "/bin/QNUninstaller"));
}
