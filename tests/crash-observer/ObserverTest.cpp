// SPDX-License-Identifier: MIT
// The observer's decisions, in process.
#include "QNCrashObserver.h"
#include "QNCrashReporterKit.h"
#include "TestSupport.h"
#include "layout/Bundle.h"
#include "events/ApplicationNotifications.h"
#include "events/LaunchServices.h"
#include "plist/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

using namespace qn::events;

namespace {

qn::Notification terminated(quint32 high, quint32 low)
{
    return {QString::fromLatin1(qn::kWorkspaceDidTerminateApplicationNotification), nullptr,
            {{QString::fromLatin1(qn::kApplicationProcessSerialNumberHighKey), high},
             {QString::fromLatin1(qn::kApplicationProcessSerialNumberLowKey), low}}};
}

}  // namespace

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

TEST(QNCrashObserver, DialogSuppressionSlowsDownAndStopsAfterAHundredRescheduledPasses)
{
    // A stand-in for the system dialog's process: every pass ends it, so a
    // new one is started before each pass that is checked.
    const QString fake = qn::test::homeDir() + QStringLiteral("/bin/UserNotificationCenter");
    QDir().mkpath(QFileInfo(fake).absolutePath());
    QFile::remove(fake);
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), fake));
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::ExeOwner);
    auto startDialog = [&] {
        auto dialog = std::make_unique<QProcess>();
        dialog->start(fake, {QStringLiteral("60")});
        EXPECT_TRUE(dialog->waitForStarted());
        EXPECT_TRUE(qn::test::waitUntil([] { return GetPIDForProcessName(kUserNotificationCenterName) > 0; }, 5000));
        return dialog;
    };

    QNCrashObserver observer;
    std::vector<int> delays;
    std::deque<std::function<void()>> pending;
    observer.setScheduler([&](int delayMs, std::function<void()> step) {
        delays.push_back(delayMs);
        pending.push_back(std::move(step));
    });
    const int before = QNCrashObserver::suppressionRuns();
    ASSERT_LE(before, 99);

    std::unique_ptr<QProcess> dialog = startDialog();
    observer.disableStandardCrashReporter();
    ASSERT_TRUE(dialog->waitForFinished(5000));
    EXPECT_EQ(dialog->exitCode(), SIGTERM);
    int passes = 1;
    while (!pending.empty()) {
        std::function<void()> step = std::move(pending.front());
        pending.pop_front();
        step();
        ++passes;
        ASSERT_LT(passes, 1000) << "the passes never stop";
    }
    // Pass n (counted from 0) waits (n + 1) / 50 + 0.1 s before the next:
    // 0.12 s, 0.14 s, ... 2.1 s, and the pass after the 100th delay is the last.
    EXPECT_EQ(passes, 101 - before);
    ASSERT_EQ(int(delays.size()), 100 - before);
    for (size_t i = 0; i < delays.size(); ++i)
        EXPECT_EQ(delays[i], 120 + 20 * (before + int(i))) << "pass " << before + int(i);
    EXPECT_EQ(QNCrashObserver::suppressionRuns(), 101);

    // Later passes (the finishing check runs one more) still end the dialog
    // but schedule nothing.
    dialog = startDialog();
    observer.disableStandardCrashReporter();
    ASSERT_TRUE(dialog->waitForFinished(5000));
    EXPECT_EQ(dialog->exitCode(), SIGTERM);
    EXPECT_TRUE(pending.empty());
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
