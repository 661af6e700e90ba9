#include "QNCrashObserver.h"

#include "events/ApplicationNotifications.h"
#include "events/EventManager.h"
#include "events/LaunchServices.h"
#include "events/Workspace.h"
#include "layout/Bundle.h"
#include "plist/PropertyList.h"
#include "process/ProcessTable.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cmath>
#include <csignal>

using namespace qn::events;

const QString kQNCrashReporterAppName = QStringLiteral("QNCrashReporter");
const QString kQNCrashReporterTargetNameKey = QStringLiteral("kQNCrashReporterTargetNameKey");
const QString kQNCrashReporterTargetPathKey = QStringLiteral("kQNCrashReporterTargetPathKey");

namespace {
int gNoOfRuns = 0;
constexpr size_t kPidBufferSize = 50;
}  // namespace

int GetAllPIDsForProcessName(const char* name, pid_t* pids, size_t capacity, size_t* count, int* systemError)
{
    return qn::process::allPidsForName(name, pids, capacity, count, systemError);
}

pid_t GetPIDForProcessName(const char* name)
{
    return qn::process::pidForName(name);
}

QNCrashObserver::QNCrashObserver()
{
    _terminateToken = Workspace::notificationCenter().addObserver(
        QString::fromLatin1(qn::kWorkspaceDidTerminateApplicationNotification), nullptr,
        [this](const qn::Notification& note) { onTerminateApplication(note); });
}

void QNCrashObserver::setScheduler(Scheduler scheduler)
{
    _scheduler = std::move(scheduler);
}

void QNCrashObserver::schedule(int delayMs, std::function<void()> step)
{
    if (_scheduler)
        _scheduler(delayMs, std::move(step));
    else
        QTimer::singleShot(delayMs, this, std::move(step));
}

QNCrashObserver::~QNCrashObserver()
{
    Workspace::notificationCenter().removeObserver(_terminateToken);
}

int QNCrashObserver::suppressionRuns()
{
    return gNoOfRuns;
}

void QNCrashObserver::applicationWillFinishLaunching()
{
    if (EventManager* events = EventManager::instance())
        events->installHandler(fourCC("QNcr"), fourCC("SetP"),
                               [this](const AppleEvent& event) { onReceivePSN(event); });
}

void QNCrashObserver::onReceivePSN(const AppleEvent& event)
{
    const std::optional<Descriptor> direct = event.param(keyDirectObject);
    if (!direct)
        return;
    const std::optional<ProcessSerialNumber> psn = direct->toProcessSerialNumber();
    if (!psn)
        return;
    // Only the most recent target is kept.
    if (!_targetPSN.isNull() && !(_targetPSN == *psn))
        Workspace::sharedWorkspace().unwatchProcess(_targetPSN);
    _targetPSN = *psn;
    getTargetInfo();
    Workspace::sharedWorkspace().watchProcess(_targetPSN);
}

void QNCrashObserver::getTargetInfo()
{
    // On this system an application's "bundle" is its executable.
    const QString exe = _targetPSN.executablePath();
    if (!exe.isEmpty()) {
        _targetName = QFileInfo(exe).fileName();
        _targetPath = exe;
    }
    _crashLogFile = std::make_unique<QNCrashLogFile>(QNCrashLogFile::initWithApplicationName(_targetName));
}

void QNCrashObserver::onTerminateApplication(const qn::Notification& note)
{
    if (_targetPSN.isNull() || _targetEnded)
        return;
    const QString highKey = QString::fromLatin1(qn::kApplicationProcessSerialNumberHighKey);
    const QString lowKey = QString::fromLatin1(qn::kApplicationProcessSerialNumberLowKey);
    if (!note.userInfo.contains(highKey) || !note.userInfo.contains(lowKey))
        return;
    if (note.userInfo.value(highKey).toUInt() != _targetPSN.highLongOfPSN
        || note.userInfo.value(lowKey).toUInt() != _targetPSN.lowLongOfPSN)
        return;
    if (_targetName.isEmpty())
        return;
    _targetEnded = true;
    onTerminateTargetApplication();
}

void QNCrashObserver::onTerminateTargetApplication()
{
    disableStandardCrashReporter();
    waitForUpdateCrashLogAndShowNotifyWindow();
}

void QNCrashObserver::disableStandardCrashReporter()
{
    pid_t pids[kPidBufferSize];
    size_t count = 0;
    if (GetAllPIDsForProcessName(kUserNotificationCenterName, pids, kPidBufferSize, &count) == 0) {
        for (size_t i = 0; i < count; ++i)
            ::kill(pids[i], SIGTERM);
    }
    const int n = gNoOfRuns++;
    if (n > 99)
        return;
    // Rounded: truncating would make some delays 1 ms short (0.34 s -> 339 ms).
    schedule(int(std::lround(((n + 1) / 50.0 + 0.1) * 1000)), [this] { disableStandardCrashReporter(); });
}

void QNCrashObserver::waitForUpdateCrashLogAndShowNotifyWindow()
{
    if (!_waitingStartTime)
        _waitingStartTime = QDateTime::currentDateTimeUtc();
    if (_crashLogFile && _crashLogFile->isModifiedSinceLastRead()) {
        _launchReporter = true;
        terminateWhenUserNotificationCenterDied();
        return;
    }
    const qint64 elapsed = _waitingStartTime->msecsTo(QDateTime::currentDateTimeUtc());
    schedule(kTimeIntervalSoonMs, [this] { waitForUpdateCrashLogAndShowNotifyWindow(); });
    if (elapsed > kWaitingTimeoutMs)
        terminateWhenUserNotificationCenterDied();
}

void QNCrashObserver::terminateWhenUserNotificationCenterDied()
{
    // One chain of re-checks at a time: later polls after the time-out join it.
    if (_finishing)
        return;
    pid_t pids[kPidBufferSize];
    size_t count = 0;
    if (GetAllPIDsForProcessName(kUserNotificationCenterName, pids, kPidBufferSize, &count) == 0 && count > 0) {
        _finishing = true;
        schedule(kTimeIntervalSoonMs, [this] {
            _finishing = false;
            terminateWhenUserNotificationCenterDied();
        });
        return;
    }
    _finishing = true;
    if (_launchReporter)
        launchQNCrashReporter();
    disableStandardCrashReporter();
    EventManager::terminate(0);
}

void QNCrashObserver::launchQNCrashReporter()
{
    if (_reporterLaunched)
        return;
    const QString path = QFileInfo(qn::Bundle::mainExecutablePath()).absolutePath() + QLatin1Char('/')
        + kQNCrashReporterAppName;
    if (!QFileInfo(path).isExecutable())
        return;
    _reporterLaunched = true;
    const AppleEvent event = makeSetTargetInfoAppleEvent();
    // The outcome is not examined: the observer quits either way.
    LaunchServices::openApplication(path, kLSLaunchDefaults, &event, nullptr);
}

AppleEvent QNCrashObserver::makeSetTargetInfoAppleEvent() const
{
    AppleEvent event(fourCC("QNcr"), fourCC("SetT"), std::nullopt, kAutoGenerateReturnID, kAnyTransactionID);
    QVariantMap info;
    if (!_targetName.isEmpty())
        info.insert(kQNCrashReporterTargetNameKey, _targetName);
    if (!_targetPath.isEmpty())
        info.insert(kQNCrashReporterTargetPathKey, _targetPath);
    const QByteArray xml = qn::plist::write(info, qn::plist::Format::Xml);
    if (xml.isEmpty())
        return event;
    event.putParam(keyDirectObject, Descriptor::fromUtf8Text(QString::fromUtf8(xml)));
    return event;
}
