// SPDX-License-Identifier: MIT
#include "QNPackageCheck.h"

#include "layout/Bundle.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

bool writeList(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

}  // namespace

// dpkg's database as it looks after `apt install ./qntraylift_*.deb`, beside
// another package's list: only an exact entry of our own list counts.
TEST(PackageCheck, OnlyAnExactEntryOfOurOwnListCounts)
{
    QTemporaryDir info;
    ASSERT_TRUE(info.isValid());
    const QString ours = qn::Bundle::packageName();
    ASSERT_TRUE(writeList(info.filePath(ours + ".list"), "/.\n/usr\n/usr/bin\n/usr/bin/QNUninstaller\n/usr/bin/qn eject \n"));
    ASSERT_TRUE(writeList(info.filePath("coreutils.list"), "/usr/bin/rm\n"));
    ASSERT_TRUE(writeList(info.filePath(ours + "-extra.list"), "/usr/bin/other\n"));

    EXPECT_EQ(QNPackageCheck::owningPackage("/usr/bin/QNUninstaller", info.path()), ours);
    EXPECT_EQ(QNPackageCheck::owningPackage("/usr/bin/qn eject ", info.path()), ours);
    for (const char* path : {"/usr/bin/QNUninstall", "/usr/bin/QNUninstaller/", "/usr/bin/rm", "/usr/bin/other",
                             "/opt/qn/bin/QNUninstaller", "/usr/bin/qn eject", ""})
        EXPECT_EQ(QNPackageCheck::owningPackage(path, info.path()), QString()) << path;
    EXPECT_EQ(QNPackageCheck::owningPackage("/usr/bin/QNUninstaller", info.filePath("missing")), QString());

    // A multi-architecture list (<package>:<arch>.list) counts too.
    ASSERT_TRUE(QFile::remove(info.filePath(ours + ".list")));
    ASSERT_TRUE(writeList(info.filePath(ours + ":amd64.list"), "/usr/bin/QNUninstaller"));
    EXPECT_EQ(QNPackageCheck::owningPackage("/usr/bin/QNUninstaller", info.path()), ours);
}
