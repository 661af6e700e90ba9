// The kit in this process and the observer's decisions, in process.
#include "QNCrashObserver.h"
#include "QNCrashReporterKit.h"
#include "TestSupport.h"
#include "layout/Bundle.h"
#include "events/ApplicationNotifications.h"
#include "events/LaunchServices.h"
#include "plist/PropertyList.h"

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

qn::Notification terminated(quint32 high, quint32 low)
{
    return {QString::fromLatin1(qn::kWorkspaceDidTerminateApplicationNotification), nullptr,
            {{QString::fromLatin1(qn::kApplicationProcessSerialNumberHighKey), high},
             {QString::fromLatin1(qn::kApplicationProcessSerialNumberLowKey), low}}};
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
    // The observer starts beside us; it becomes the running instance soon.
    EXPECT_TRUE(qn::test::waitUntil([&] { return LaunchServices::runningInstance(observerPath()) == observer; }, 10000));

    EXPECT_TRUE(kit.beginTracking());  // launches nothing
    EXPECT_EQ(kit.reporterLowPSN(), observer.lowLongOfPSN);

    EXPECT_TRUE(kit.stopTracking());
    EXPECT_TRUE(qn::test::waitUntil([&] { return !observer.isAlive(); }, 5000)) << "the observer did not quit";
    EXPECT_TRUE(kit.isReporterAlive());  // the serial number is kept
    EXPECT_TRUE(kit.beginTracking());
    qn::test::waitUntil([] { return false; }, 200);
    EXPECT_TRUE(LaunchServices::runningInstance(observerPath()).isNull());
    if (observer.isAlive())
        ::kill(observer.pid(), SIGKILL);
}

TEST(QNCrashReporterKit, MissingObserverLeavesTheProgramRunningUntracked)
{
    // A copy of the kit in a folder without libexec/qnlab/QNCrashObserver.
    const QString lib = qn::test::homeDir() + QStringLiteral("/bare/lib");
    QDir().mkpath(lib);
    const QDir stageLib(qn::test::stageDir() + QStringLiteral("/lib"));
    for (const QString& name : stageLib.entryList({QStringLiteral("libQNCrashReporterKit.so*")}, QDir::Files))
        ASSERT_TRUE(QFile::copy(stageLib.filePath(name), lib + QLatin1Char('/') + name));
    const qn::test::ProcessResult r = qn::test::runProcess(
        qn::test::testBinDir() + QStringLiteral("/qn_test_crasher"), {QStringLiteral("quit")}, 20000,
        {QStringLiteral("LD_LIBRARY_PATH=") + lib});
    EXPECT_TRUE(r.out.contains("tracking=0")) << r.out.constData() << r.err.constData();
    EXPECT_EQ(r.exitCode, 0);
}

TEST(QNCrashObserver, TerminationsOfOtherProgramsOrWithoutKeysAreIgnored)
{
    QNCrashObserver observer;
    const ProcessSerialNumber me = ProcessSerialNumber::current();
    AppleEvent setP(fourCC("QNcr"), fourCC("SetP"));
    setP.putParam(keyDirectObject, Descriptor::fromProcessSerialNumber(me));
    observer.onReceivePSN(setP);
    EXPECT_EQ(observer.targetPSN(), me);
    EXPECT_EQ(observer.targetName(), QFileInfo(qn::Bundle::mainExecutablePath()).fileName());
    EXPECT_EQ(observer.targetPath(), qn::Bundle::mainExecutablePath());

    const int runsBefore = QNCrashObserver::suppressionRuns();
    observer.onTerminateApplication(terminated(me.highLongOfPSN + 1, me.lowLongOfPSN));
    observer.onTerminateApplication(terminated(me.highLongOfPSN, me.lowLongOfPSN + 1));
    observer.onTerminateApplication({QString::fromLatin1(qn::kWorkspaceDidTerminateApplicationNotification), nullptr,
                                     {{QString::fromLatin1(qn::kApplicationProcessSerialNumberLowKey), me.lowLongOfPSN}}});
    EXPECT_EQ(QNCrashObserver::suppressionRuns(), runsBefore);  // nothing started
}

TEST(QNCrashObserver, MalformedLaunchEventLeavesItIdle)
{
    QNCrashObserver observer;
    AppleEvent noParam(fourCC("QNcr"), fourCC("SetP"));
    observer.onReceivePSN(noParam);
    AppleEvent wrongType(fourCC("QNcr"), fourCC("SetP"));
    wrongType.putParam(keyDirectObject, Descriptor::fromInt32(42));
    observer.onReceivePSN(wrongType);
    EXPECT_TRUE(observer.targetPSN().isNull());
    EXPECT_TRUE(observer.targetName().isEmpty());
}

TEST(QNCrashObserver, TargetInfoEventCarriesNameAndPathAsXmlPlist)
{
    QNCrashObserver observer;
    AppleEvent empty = observer.makeSetTargetInfoAppleEvent();
    EXPECT_EQ(empty.eventClass(), fourCC("QNcr"));
    EXPECT_EQ(empty.eventID(), fourCC("SetT"));
    std::optional<QString> text = empty.param(keyDirectObject)->toText();
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(qn::plist::read(text->toUtf8())->toMap().isEmpty());  // both keys left out

    AppleEvent setP(fourCC("QNcr"), fourCC("SetP"));
    setP.putParam(keyDirectObject, Descriptor::fromProcessSerialNumber(ProcessSerialNumber::current()));
    observer.onReceivePSN(setP);
    const AppleEvent event = observer.makeSetTargetInfoAppleEvent();
    text = event.param(keyDirectObject)->toText();
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(text->startsWith(QStringLiteral("<?xml")));
    const QVariantMap info = qn::plist::read(text->toUtf8())->toMap();
    EXPECT_EQ(info.value(QStringLiteral("kQNCrashReporterTargetNameKey")).toString(), observer.targetName());
    EXPECT_EQ(info.value(QStringLiteral("kQNCrashReporterTargetPathKey")).toString(), observer.targetPath());
}

TEST(QNCrashObserver, ProcessLookupReportsBadArgumentsAndAbsence)
{
    pid_t pids[2];
    size_t count = 7;
    EXPECT_EQ(GetAllPIDsForProcessName(nullptr, pids, 2, &count), -2);
    EXPECT_EQ(GetAllPIDsForProcessName("x", pids, 0, &count), -2);
    EXPECT_EQ(GetAllPIDsForProcessName(kUserNotificationCenterName, pids, 2, &count), -1);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(GetPIDForProcessName(kUserNotificationCenterName), -1);
}
