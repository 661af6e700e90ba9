#include "layout/Bundle.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace qn;

TEST(Bundle, PrefixFromEveryKindOfBinaryLocation)
{
    EXPECT_EQ(Bundle::prefixForBinary("/opt/qn/bin/qneject"), "/opt/qn");
    EXPECT_EQ(Bundle::prefixForBinary("/opt/qn/lib/libQNPlatform.so.1"), "/opt/qn");
    EXPECT_EQ(Bundle::prefixForBinary("/opt/qn/libexec/qnlab/QNCrashObserver"), "/opt/qn");
    EXPECT_EQ(Bundle::prefixForBinary("/opt/qn/lib/qml/QNTraylift/libplugin.so"), "/opt/qn");
    EXPECT_EQ(Bundle::prefixForBinary("/opt/qn/share/other/x"), "");
    EXPECT_EQ(Bundle::prefixForBinary("/opt/qnlab/x"), "");
}

TEST(Bundle, InstallPrefixIsTheStagedTreeHoldingThePlatformLibrary)
{
    const QString stage = QFileInfo(test::stageDir()).canonicalFilePath();
    ASSERT_FALSE(stage.isEmpty());
    EXPECT_EQ(Bundle::installPrefix(), stage);
    EXPECT_EQ(Bundle::programPath("qneject"), stage + "/bin/qneject");
    EXPECT_EQ(Bundle::helperPath("QNCrashObserver"), stage + "/libexec/qnlab/QNCrashObserver");
    EXPECT_TRUE(Bundle::pathOfBinaryContaining(reinterpret_cast<const void*>(&Bundle::installPrefix))
                    .startsWith(stage + "/lib/libQNPlatformCore.so"));
    EXPECT_EQ(Bundle::mainExecutablePath(), QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
}

TEST(Bundle, ResourceLookupNeedsAnExistingFile)
{
    EXPECT_TRUE(Bundle::pathForResource("no-such-resource", "txt").isEmpty());
}
