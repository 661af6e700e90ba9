// SPDX-License-Identifier: MIT
// The kit in this process: it starts one observer, stops it, and never relaunches it.
#include "QNCrashReporterKit.h"
#include "TestSupport.h"
#include "layout/Bundle.h"
#include "events/LaunchServices.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <csignal>

using namespace qn::events;

namespace {

QString observerPath()
{
    return qn::test::stageDir() + QStringLiteral("/libexec/qnlab/QNCrashObserver");
}

}  // namespace

TEST(QNCrashReporterKit, TracksOnceStopsOnceAndNeverRelaunches)
{
    QNCrashReporterKit& kit = QNCrashReporterKit::sharedInstance();
    EXPECT_EQ(&kit, &QNCrashReporterKit::sharedInstance());
    // Nothing launched yet: stopping sends nothing and succeeds.
    EXPECT_FALSE(kit.isReporterAlive());
    EXPECT_TRUE(kit.stopTracking());

    ASSERT_TRUE(kit.beginTracking());
    const ProcessSerialNumber observer{kit.reporterHighPSN(), kit.reporterLowPSN()};
    ASSERT_FALSE(observer.isNull());
    EXPECT_TRUE(observer.isAlive());
    // The observer starts beside us as a further instance, ours alone (another
    // tracked program gets its own).

    EXPECT_TRUE(kit.beginTracking());  // launches nothing
    EXPECT_EQ(kit.reporterLowPSN(), observer.lowLongOfPSN);

    EXPECT_TRUE(kit.stopTracking());
    EXPECT_TRUE(qn::test::waitUntil([&] { return !observer.isAlive(); }, 5000)) << "the observer did not quit";
    EXPECT_TRUE(kit.isReporterAlive());  // the serial number is kept
    EXPECT_TRUE(kit.beginTracking());
    // A launch would have given the kit a new serial number before returning.
    EXPECT_EQ(kit.reporterLowPSN(), observer.lowLongOfPSN);
    EXPECT_TRUE(LaunchServices::runningInstance(observerPath()).isNull());
    if (observer.isAlive())
        ::kill(observer.pid(), SIGKILL);
}

TEST(QNCrashReporterKit, MissingObserverLeavesTheProgramRunningUntracked)
{
    // A copy of the kit in a folder without libexec/qnlab/QNCrashObserver.
    const QString libDir = QLatin1Char('/') + qn::Bundle::relativeDirectory(qn::Bundle::Location::PrivateLibraries);
    const QString lib = qn::test::homeDir() + QStringLiteral("/bare") + libDir;
    QDir().mkpath(lib);
    const QDir stageLib(qn::test::stageDir() + libDir);
    for (const QString& name : stageLib.entryList({QStringLiteral("libQNCrashReporterKit.so*")}, QDir::Files))
        ASSERT_TRUE(QFile::copy(stageLib.filePath(name), lib + QLatin1Char('/') + name));
    const qn::test::ProcessResult r = qn::test::runProcess(
        qn::test::testBinDir() + QStringLiteral("/qn_test_crasher"), {QStringLiteral("quit")}, 20000,
        {QStringLiteral("LD_LIBRARY_PATH=") + lib});
    EXPECT_TRUE(r.out.contains("tracking=0")) << r.out.constData() << r.err.constData();
    EXPECT_EQ(r.exitCode, 0);
}
