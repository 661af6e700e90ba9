// SPDX-License-Identifier: MIT
#include "layout/Bundle.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace qn;

TEST(Bundle, PrefixFromEveryKindOfBinaryLocation)
{
    using L = Bundle::Location;
    // Every folder that holds a binary leads back to the prefix, in any prefix
    // (the root one included) and for the layout this build was configured with.
    for (const char* prefix : {"/opt/qn", "/usr", ""}) {
        for (L l : {L::Programs, L::PrivateLibraries, L::Helpers, L::QmlModule, L::StagedQmlModule}) {
            const QString binary = QString::fromUtf8(prefix) + '/' + Bundle::relativeDirectory(l) + "/file";
            EXPECT_EQ(Bundle::prefixForBinary(binary), *prefix ? QString::fromUtf8(prefix) : QString("/"))
                << binary.toStdString();
        }
    }
    EXPECT_EQ(Bundle::prefixForBinary("/opt/qn/lib/qml/QNTraylift/libplugin.so"), "/opt/qn");
    EXPECT_EQ(Bundle::prefixForBinary("/opt/qn/share/other/x"), "");
    EXPECT_EQ(Bundle::prefixForBinary("/opt/qnlab/x"), "");
    EXPECT_EQ(Bundle::programPath("QNTraylift", "/opt/qn"),
              "/opt/qn/" + Bundle::relativeDirectory(L::Programs) + "/QNTraylift");
    EXPECT_EQ(Bundle::helperPath("QNCrashObserver", "/"),
              "/" + Bundle::relativeDirectory(L::Helpers) + "/QNCrashObserver");
}

TEST(Bundle, InstallPrefixIsTheStagedTreeHoldingThePlatformLibrary)
{
    const QString stage = QFileInfo(test::stageDir()).canonicalFilePath();
    ASSERT_FALSE(stage.isEmpty());
    EXPECT_EQ(Bundle::installPrefix(), stage);
    // The staged programs lie where the layout says.
    EXPECT_TRUE(QFileInfo(Bundle::programPath("qneject")).isExecutable());
    EXPECT_TRUE(QFileInfo(Bundle::helperPath("QNCrashObserver")).isExecutable());
    EXPECT_TRUE(Bundle::pathOfBinaryContaining(reinterpret_cast<const void*>(&Bundle::installPrefix))
                    .startsWith(stage + '/' + Bundle::relativeDirectory(Bundle::Location::PrivateLibraries)
                                + "/libQNPlatformCore.so"));
    EXPECT_EQ(Bundle::mainExecutablePath(), QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
}

TEST(Bundle, ResourceLookupNeedsAnExistingFile)
{
    EXPECT_TRUE(Bundle::pathForResource("no-such-resource", "txt").isEmpty());
}
