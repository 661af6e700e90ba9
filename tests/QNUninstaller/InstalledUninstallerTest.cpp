// SPDX-License-Identifier: MIT
// Installs the suite with `cmake --install` into a scratch prefix, then runs
// the installed uninstaller behind a fake elevator (the real helper, run
// unprivileged) and checks that exactly the installed files are gone.
#include "QNCrypto.h"

#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QSet<QString> filesUnder(const QString& root)
{
    QSet<QString> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.insert(it.next());
    return files;
}

}  // namespace

TEST(InstalledUninstaller, RemovesExactlyTheInstalledFiles)
{
    const QString build = qEnvironmentVariable("QN_BUILD_DIR");
    const QString cmake = qEnvironmentVariable("QN_CMAKE", QStringLiteral("cmake"));
    if (build.isEmpty())
        GTEST_SKIP() << "QN_BUILD_DIR is not set (run through ctest)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString prefix = dir.filePath("prefix");

    auto install = qn::test::runProcess(cmake, {"--install", build, "--prefix", prefix}, 300000);
    ASSERT_EQ(install.exitCode, 0) << install.out.right(2000).constData() << install.err.constData();
    const QString list = prefix + "/share/qnlab/UnInstallFiles.txt.qne";
    ASSERT_TRUE(QFile::exists(list));

    const QSet<QString> installed = filesUnder(prefix);
    // The list names every installed file, and only those.
    const auto text = QNCrypto::dataByDecryptingFileAtPath(list, "C7E2A19D-5F3B-4E80-A64C-2D91F0B7E358");
    ASSERT_TRUE(text);
    const QStringList listed = QString::fromUtf8(*text).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()), installed);

    // Files that are not the suite's must survive, also inside its folders.
    QDir().mkpath(prefix + "/share/other");
    ASSERT_TRUE(QFile(prefix + "/share/other/keep.txt").open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile(prefix + "/bin/not-ours").open(QIODevice::WriteOnly));

    const QString elevator = dir.filePath("elevator");
    {
        QFile f(elevator);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho prompt >> \"$(dirname \"$0\")/prompts\"\nexec \"$@\"\n");
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    auto run = qn::test::runProcess(prefix + "/bin/QNUninstaller", {}, 120000,
                                    {"QNLAB_ELEVATOR=" + elevator, "QNLAB_UNINSTALL_AUTOCONFIRM=1",
                                     "QT_QPA_PLATFORM=offscreen"});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();

    EXPECT_EQ(filesUnder(prefix), (QSet<QString>{prefix + "/share/other/keep.txt", prefix + "/bin/not-ours"}));
    QFile prompts(dir.filePath("prompts"));
    ASSERT_TRUE(prompts.open(QIODevice::ReadOnly));
    EXPECT_EQ(prompts.readAll(), "prompt\n") << "one prompt for the whole removal";
}
