// SPDX-License-Identifier: MIT
#include "events/LaunchServices.h"

#include "events/DetachedLaunch.h"
#include "events/EventManager.h"
#include "events/EventTransport.h"
#include "events/LaunchHandOver.h"
#include "events/RuntimeDirectory.h"
#include "events/SingleInstance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <sys/stat.h>
#include <unistd.h>

namespace qn::events {

namespace {

constexpr int kRunningRetryMs = 5000;

qint32 nextReturnID()
{
    static std::atomic<quint32> counter{0};
    const quint32 n = ++counter;
    // Positive, and distinct between processes for the first 65535 events.
    return qint32(((quint32(::getpid()) & 0x7fff) << 16) | (n & 0xffff)) | 1;
}

AppleEvent prepared(const AppleEvent& event)
{
    AppleEvent copy = event;
    if (copy.returnID() == kAutoGenerateReturnID)
        copy.setReturnID(nextReturnID());
    return copy;
}

OSStatus resolveProgram(const QString& path, QString* resolved)
{
    if (path.isEmpty())
        return fnfErr;
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty())
        return fnfErr;
    struct stat st{};
    const QByteArray native = QFile::encodeName(canonical);
    if (::stat(native.constData(), &st) != 0)
        return fnfErr;
    if (!S_ISREG(st.st_mode) || ::access(native.constData(), X_OK) != 0)
        return toStatus(LaunchError::NotAnApplication);
    *resolved = canonical;
    return noErr;
}

// Delivers to the running instance; noErr, or the last failure when it could
// not be reached. *gone is set when the instance turned out not to run.
OSStatus deliverToRunning(const QString& dir, const QString& key, const AppleEvent& event, ProcessSerialNumber* psn,
                          bool* gone)
{
    *gone = false;
    QDeadlineTimer deadline(kRunningRetryMs);
    OSStatus last = procNotFound;
    for (;;) {
        const std::optional<ProcessSerialNumber> running = SingleInstance::holder(dir, key);
        if (!running) {
            *gone = true;
            return procNotFound;
        }
        if (!running->isNull()) {
            last = sendEvent(event, *running);
            if (last == noErr) {
                if (psn)
                    *psn = *running;
                return noErr;
            }
        }
        if (deadline.hasExpired())
            return last;
        QThread::msleep(10);
    }
}

}  // namespace

OSStatus LaunchServices::openApplication(const QString& path, quint32 flags, const AppleEvent* initialEvent,
                                         ProcessSerialNumber* psn)
{
    QString program;
    if (const OSStatus s = resolveProgram(path, &program); s != noErr)
        return s;
    const QString dir = runtimeDirectory();
    if (dir.isEmpty())
        return toStatus(LaunchError::ServerCommunication);
    const QString key = runtime::appKey(program);

    std::optional<AppleEvent> event;
    if (initialEvent)
        event = prepared(*initialEvent);

    // Launchers of one program take turns, so that a second launch always
    // sees the instance the first one started.
    int launchLock = -1;
    if (!(flags & kLSLaunchNewInstance)) {
        // Bounded wait: a launcher that hangs must not block every later one.
        QDeadlineTimer turn(kHandOverTimeoutMs + kRunningRetryMs + 5000);
        for (;;) {
            bool busy = false;
            launchLock = runtime::lockFile(runtime::launchLockPath(dir, key), false, &busy);
            if (launchLock >= 0)
                break;
            if (!busy)
                return toStatus(LaunchError::ServerCommunication);
            if (turn.hasExpired())
                return toStatus(LaunchError::LaunchInProgress);
            QThread::msleep(5);
        }
        bool gone = false;
        const AppleEvent ordinary = event.value_or(prepared(AppleEvent(kCoreEventClass, kAEReopenApplication)));
        const OSStatus s = deliverToRunning(dir, key, ordinary, psn, &gone);
        if (!gone) {
            ::close(launchLock);
            return s;
        }
    }

    const DetachedProgram spawned = startDetached(program, flags);
    if (spawned.status != noErr) {
        if (launchLock >= 0)
            ::close(launchLock);
        return spawned.status;
    }
    ProcessSerialNumber started =
        ProcessSerialNumber::forPid(spawned.pid).value_or(ProcessSerialNumber{0, quint32(spawned.pid)});
    LaunchHandOver::give(spawned.channel, event, kHandOverTimeoutMs);
    OSStatus status = noErr;
    if (!(flags & kLSLaunchAsync)) {
        // No answer: the program runs without an EventManager (or ended).
        if (const auto answer = LaunchHandOver::awaitAnswer(spawned.channel, kHandOverTimeoutMs)) {
            status = answer->first;
            if (!answer->second.isNull())
                started = answer->second;
        }
    }
    ::close(spawned.channel);
    if (launchLock >= 0)
        ::close(launchLock);
    if (status == noErr && psn)
        *psn = started;
    return status;
}

ProcessSerialNumber LaunchServices::runningInstance(const QString& path)
{
    QString program;
    if (resolveProgram(path, &program) != noErr)
        return {};
    const QString dir = runtimeDirectory();
    if (dir.isEmpty())
        return {};
    return SingleInstance::holder(dir, runtime::appKey(program)).value_or(ProcessSerialNumber{});
}

OSStatus sendEvent(const AppleEvent& event, const ProcessSerialNumber& psn, int timeoutMs)
{
    if (psn.isNull() || !psn.isAlive())
        return procNotFound;
    const QString dir = runtimeDirectory();
    if (dir.isEmpty())
        return connectionInvalid;
    AppleEvent copy = prepared(event);
    copy.setTarget(psn);
    const QByteArray encoded = copy.encode();
    if (encoded.isEmpty())
        return paramErr;
    // To ourselves: our own main loop would be the one to answer, so queue it
    // directly instead of waiting on our own socket.
    if (psn == ProcessSerialNumber::current()) {
        EventManager* self = EventManager::instance();
        return self && self->post(copy) ? noErr : connectionInvalid;
    }
    return transport::deliver(dir, psn, encoded, timeoutMs);
}

OSStatus sendEvent(const AppleEvent& event, int timeoutMs)
{
    if (!event.target())
        return paramErr;
    return sendEvent(event, *event.target(), timeoutMs);
}

}  // namespace qn::events
