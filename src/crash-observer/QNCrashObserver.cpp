// SPDX-License-Identifier: MIT
#include "QNCrashObserver.h"

#include "CrashReportingEvents.h"

#include "events/ApplicationNotifications.h"
#include "events/EventManager.h"
#include "events/LaunchServices.h"
#include "events/Workspace.h"
#include "layout/Bundle.h"
#include "plist/PropertyList.h"
#include "process/ProcessTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cmath>
#include <optional>
#include <unistd.h>
#include <vector>
#include <csignal>

using namespace qn::events;
namespace contracts = qn::contracts;

const QString kQNCrashReporterAppName = QStringLiteral("QNCrashReporter");
const QString kQNCrashReporterTargetNameKey = QString::fromLatin1(contracts::kTargetNameKey);
const QString kQNCrashReporterTargetPathKey = QString::fromLatin1(contracts::kTargetPathKey);

namespace {
int gNoOfRuns = 0;
constexpr size_t kPidBufferSize = 50;
}  // namespace

int GetAllPIDsForProcessName(const char* name, pid_t* pids, size_t capacity, size_t* count, int* systemError)
{
    return int(qn::process::allPidsForName(name, pids, capacity, count, systemError));
}

pid_t GetPIDForProcessName(const char* name)
{
    return qn::process::pidForName(name);
}

namespace {

// The real user of a process, from /proc/<pid>/status; nullopt when it has
// gone or cannot be read.
std::optional<uid_t> realUserOf(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("Uid:")) {
            bool ok = false;
            const uid_t uid = uid_t(line.mid(4).simplified().split(' ').value(0).toULong(&ok));
            return ok ? std::optional<uid_t>(uid) : std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

int GetOwnPIDsForProcessName(const char* name, pid_t* pids, size_t capacity, size_t* count)
{
    using qn::process::NameLookup;
    if (!name || !pids || capacity == 0 || !count)
        return int(NameLookup::BadArgument);
    *count = 0;
    // Other users' processes of that name may be many; the buffer only has
    // to hold ours.
    std::vector<pid_t> all(4096);
    size_t found = 0;
    const NameLookup status = qn::process::allPidsForName(name, all.data(), all.size(), &found);
    if (status != NameLookup::Found)
        return int(status);
    const uid_t self = ::getuid();
    for (size_t i = 0; i < found; ++i) {
        if (realUserOf(all[i]) != self)
            continue;
        if (*count == capacity)
            return int(NameLookup::BufferTooSmall);
        pids[(*count)++] = all[i];
    }
    return int(*count > 0 ? NameLookup::Found : NameLookup::NotFound);
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
        events->installHandler(contracts::kCrashEventClass, contracts::kSetTargetProcessEventID,
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
    // Once the target has ended this observer is finishing: a new target
    // would be dropped when it quits, so it is refused.
    if (_targetEnded)
        return;
    // Only the most recent target is kept.
    if (!_targetPSN.isNull() && !(_targetPSN == *psn))
        Workspace::sharedWorkspace().unwatchProcess(_targetPSN);
    _targetPSN = *psn;
    auto text = [&event](FourCharCode key) {
        const std::optional<Descriptor> d = event.param(key);
        return d ? d->toText().value_or(QString()) : QString();
    };
    _givenName = text(contracts::keyTargetName);
    _givenPath = text(contracts::keyTargetPath);
    bool ok = false;
    const qint64 logDate = text(contracts::keyCrashLogDate).toLongLong(&ok);
    _givenLogDate = ok ? std::optional<qint64>(logDate) : std::nullopt;
    getTargetInfo();
    // A target that is already gone is reported as ended from the main loop
    // at once: an early crash is confirmed and reported like any other.
    Workspace::sharedWorkspace().watchProcess(_targetPSN);
}

void QNCrashObserver::getTargetInfo()
{
    // On this system an application's "bundle" is its executable.
    const QString exe = _targetPSN.executablePath();
    if (!exe.isEmpty()) {
        _targetName = QFileInfo(exe).fileName();
        _targetPath = exe;
    } else if (!_givenName.isEmpty() && !_givenName.contains(QLatin1Char('/'))) {
        // Gone before we looked: what the kit told us stands in.
        _targetName = _givenName;
        _targetPath = _givenPath;
    }
    _crashLogFile = std::make_unique<QNCrashLogFile>(QNCrashLogFile::initWithApplicationName(_targetName));
    // Changes are counted from when tracking began, not from this reading,
    // which may come after the crash.
    if (_givenLogDate && _targetName == _givenName)
        _crashLogFile->setModificationTimeNs(_givenLogDate);
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
    _targetEnded = true;
    if (_targetName.isEmpty()) {
        // Nothing could be learnt about it, so nothing can be reported:
        // waiting on would keep this observer alive for ever.
        EventManager::terminate(0);
        return;
    }
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
    // Only this user's: another user's process is not ours to end, and
    // must not hold back our report either.
    if (GetOwnPIDsForProcessName(kUserNotificationCenterName, pids, kPidBufferSize, &count) == 0) {
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
    if (GetOwnPIDsForProcessName(kUserNotificationCenterName, pids, kPidBufferSize, &count) == 0 && count > 0) {
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
    AppleEvent event(contracts::kCrashEventClass, contracts::kSetTargetInfoEventID, std::nullopt,
                     kAutoGenerateReturnID, kAnyTransactionID);
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
