// SPDX-License-Identifier: MIT
#pragma once
// Watches one application (the target). When the target vanishes without
// having told the observer to quit first, it waits for the target's crash log
// to change, keeps the system crash dialog away, starts the crash reporter
// for the target and quits.
#include "QNCrashLogFile.h"
#include "events/AppleEvent.h"
#include "events/ProcessSerialNumber.h"
#include "notify/NotificationCenter.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <sys/types.h>

extern const QString kQNCrashReporterAppName;
extern const QString kQNCrashReporterTargetNameKey;
extern const QString kQNCrashReporterTargetPathKey;
inline constexpr int kTimeIntervalSoonMs = 100;
inline constexpr int kWaitingTimeoutMs = 5000;
/// The system process that shows the system's own crash dialog.
inline constexpr char kUserNotificationCenterName[] = "UserNotificationCenter";

/// Process lookup by command name (status 0 found, -1 none, -2 bad argument,
/// -3 table failed, -4 no memory, -5 more matches than the buffer holds).
int GetAllPIDsForProcessName(const char* name, pid_t* pids, size_t capacity, size_t* count,
                             int* systemError = nullptr);
pid_t GetPIDForProcessName(const char* name);
/// Same statuses, counting only processes whose real user is this process's
/// real user.
int GetOwnPIDsForProcessName(const char* name, pid_t* pids, size_t capacity, size_t* count);

class QNCrashObserver : public QObject {
    Q_OBJECT
public:
    QNCrashObserver();
    ~QNCrashObserver() override;

    /// Installs the 'QNcr'/'SetP' handler on the program's event manager.
    void applicationWillFinishLaunching();
    void onReceivePSN(const qn::events::AppleEvent& event);
    void onTerminateApplication(const qn::Notification& note);

    const QString& targetName() const { return _targetName; }
    const QString& targetPath() const { return _targetPath; }
    qn::events::ProcessSerialNumber targetPSN() const { return _targetPSN; }

    /// The 'QNcr'/'SetT' event for the reporter.
    qn::events::AppleEvent makeSetTargetInfoAppleEvent() const;
    /// How many dialog-suppression passes have run (never reset).
    static int suppressionRuns();
    /// One pass of keeping the system crash dialog away: ends the processes
    /// that show it, then schedules the next pass, slower each time, until
    /// 100 passes have been rescheduled.
    void disableStandardCrashReporter();

    /// Where the observer's one-shot timers go: a QTimer on this object
    /// unless replaced (tests run the steps without waiting).
    using Scheduler = std::function<void(int delayMs, std::function<void()> step)>;
    void setScheduler(Scheduler scheduler);

private:
    void schedule(int delayMs, std::function<void()> step);
    void getTargetInfo();
    void onTerminateTargetApplication();
    void waitForUpdateCrashLogAndShowNotifyWindow();
    void terminateWhenUserNotificationCenterDied();
    void launchQNCrashReporter();

    std::optional<QDateTime> _waitingStartTime;
    QString _targetName;
    QString _targetPath;
    qn::events::ProcessSerialNumber _targetPSN;
    std::unique_ptr<QNCrashLogFile> _crashLogFile;
    // What the kit's launch event said about the target (may be empty).
    QString _givenName;
    QString _givenPath;
    std::optional<qint64> _givenLogDate;
    bool _launchReporter = false;
    bool _targetEnded = false;
    bool _finishing = false;
    bool _reporterLaunched = false;
    qn::NotificationCenter::Token _terminateToken = 0;
    Scheduler _scheduler;
};
