// SPDX-License-Identifier: MIT
#include "QNURLExtend.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace QNURLExtend;

TEST(QNURLExtend, ComponentsAndExtensions)
{
    EXPECT_EQ(lastPathComponent(QUrl("ftp://h/a/b/report.txt")), "report.txt");
    EXPECT_EQ(lastPathComponent(QUrl("ftp://h/a/b/")), "b") << "a trailing slash is not an empty component";
    EXPECT_EQ(lastPathComponent(QUrl("ftp://h/")), "/");
    EXPECT_EQ(lastPathComponent(QUrl("ftp://h/a/with%20space.txt")), "with space.txt");
    EXPECT_EQ(pathExtension(QUrl("file:///x/archive.tar.gz")), "gz");
    EXPECT_EQ(pathExtension(QUrl("file:///x/README")), "");
    EXPECT_EQ(pathExtension(QUrl("file:///x/.profile")), "") << "a leading dot starts a name";
    EXPECT_EQ(pathExtension(QUrl("file:///x.d/plain")), "") << "only the last component counts";
}

TEST(QNURLExtend, AppendingKeepsTheRestOfTheURL)
{
    const QUrl base("ftp://user@h:2121/pub");
    EXPECT_EQ(URLByAppendingPathComponent(base, "file.txt", false), QUrl("ftp://user@h:2121/pub/file.txt"));
    const QUrl dir = URLByAppendingPathComponent(base, "sub", true);
    EXPECT_TRUE(dir.path().endsWith('/')) << dir.toString().toStdString();
    EXPECT_EQ(dir, QUrl("ftp://user@h:2121/pub/sub/"));
    EXPECT_EQ(URLByAppendingPathComponent(QUrl("ftp://h/pub/"), "a b#c", false).path(), "/pub/a b#c")
        << "special characters stay part of the path";
    EXPECT_EQ(URLByAppendingPathExtension(QUrl("ftp://h/pub/data"), "txt"), QUrl("ftp://h/pub/data.txt"));
    EXPECT_EQ(URLByAppendingPathExtension(QUrl("ftp://h/pub/folder/"), "d"), QUrl("ftp://h/pub/folder.d/"));
}

TEST(QNURLExtend, DeletingComponentsAndExtensions)
{
    EXPECT_EQ(URLByDeletingLastPathComponent(QUrl("ftp://h/a/b/c.txt")), QUrl("ftp://h/a/b/"));
    EXPECT_EQ(URLByDeletingLastPathComponent(QUrl("ftp://h/a/b/")), QUrl("ftp://h/a/"));
    EXPECT_EQ(URLByDeletingLastPathComponent(QUrl("ftp://h/a")), QUrl("ftp://h/"));
    EXPECT_EQ(URLByDeletingPathExtension(QUrl("file:///x/archive.tar.gz")), QUrl("file:///x/archive.tar"));
    EXPECT_EQ(URLByDeletingPathExtension(QUrl("file:///x/README")), QUrl("file:///x/README"));
    EXPECT_EQ(URLByDeletingPathExtension(QUrl("file:///x/pkg.d/")), QUrl("file:///x/pkg/"));
    EXPECT_TRUE(URLByDeletingLastPathComponent(QUrl()).isEmpty()) << "no URL in, no URL out";
    EXPECT_TRUE(URLByAppendingPathComponent(QUrl("http://[::1"), "x", false).isEmpty());
}

TEST(QNURLExtend, URLsByAppendingPaths)
{
    EXPECT_FALSE(URLsByAppendingPaths(QUrl("ftp://h/"), std::nullopt).has_value());
    const auto none = URLsByAppendingPaths(QUrl("ftp://h/"), QStringList{});
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->isEmpty());
    const auto some = URLsByAppendingPaths(QUrl("ftp://h/pub"), QStringList{"a.txt", "b/c.txt"});
    ASSERT_TRUE(some.has_value());
    EXPECT_EQ(*some, (QList<QUrl>{QUrl("ftp://h/pub/a.txt"), QUrl("ftp://h/pub/b/c.txt")}));
    const auto fromInvalid = URLsByAppendingPaths(QUrl("http://[::1"), QStringList{"a", "b"});
    ASSERT_TRUE(fromInvalid.has_value());
    EXPECT_TRUE(fromInvalid->isEmpty()) << "elements that make no URL are skipped";
}
