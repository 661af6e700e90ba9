#include "events/LaunchServices.h"

#include "events/EventManager.h"
#include "events/EventTransport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

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

OSStatus statusForExecErrno(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return kLSNoLaunchPermissionErr;
    case ENOEXEC:
    case ELIBBAD:
        return kLSExecutableIncorrectFormat;
    case ENOENT:
    case ENOTDIR:
        return kLSNoExecutableErr;
    default:
        return kLSUnknownErr;
    }
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
        return kLSNotAnApplicationErr;
    *resolved = canonical;
    return noErr;
}

int moveAbove2(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

struct Spawned {
    OSStatus status = kLSUnknownErr;
    pid_t pid = -1;
    int channel = -1;  // our end of the hand-over socket
};

// Starts the program detached: fork, setsid, fork again so that the program
// is nobody's child here, stdio on /dev/null. Everything the children need is
// prepared before fork (only async-signal-safe calls after it).
Spawned spawnDetached(const QString& program, quint32 flags)
{
    Spawned result;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return result;
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        ::close(sv[0]);
        ::close(sv[1]);
        return result;
    }
    const int ours = moveAbove2(sv[0]);
    const int theirs = moveAbove2(sv[1]);
    const int reportRead = moveAbove2(report[0]);
    const int reportWrite = moveAbove2(report[1]);
    const int devNull = moveAbove2(::open("/dev/null", O_RDWR | O_CLOEXEC));
    auto closeAll = [&] {
        for (int fd : {ours, theirs, reportRead, reportWrite, devNull})
            if (fd >= 0)
                ::close(fd);
    };
    if (ours < 0 || theirs < 0 || reportRead < 0 || reportWrite < 0 || devNull < 0) {
        closeAll();
        return result;
    }

    const QByteArray exe = QFile::encodeName(program);
    const QByteArray argv0 = QFile::encodeName(QFileInfo(program).fileName());
    std::vector<QByteArray> envStore;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, "QNLAB_LAUNCH_", 13) == 0)
            continue;
        envStore.emplace_back(*e);
    }
    envStore.push_back(QByteArray(transport::kLaunchFdVariable) + '=' + QByteArray::number(theirs));
    envStore.push_back(QByteArray(transport::kLaunchFlagsVariable) + '=' + QByteArray::number(flags, 16));
    std::vector<char*> envp;
    for (QByteArray& entry : envStore)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(argv0.constData()), nullptr};

    const pid_t middle = ::fork();
    if (middle < 0) {
        closeAll();
        return result;
    }
    if (middle == 0) {
        ::setsid();
        const pid_t child = ::fork();
        if (child != 0) {
            const qint32 pidWord = child;
            [[maybe_unused]] ssize_t n = ::write(reportWrite, &pidWord, 4);
            ::_exit(child < 0 ? 1 : 0);
        }
        sigset_t all;
        ::sigemptyset(&all);
        ::sigprocmask(SIG_SETMASK, &all, nullptr);
        for (int sig = 1; sig < NSIG; ++sig)
            ::signal(sig, SIG_DFL);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::fcntl(theirs, F_SETFD, 0);
        ::execve(exe.constData(), argv, envp.data());
        const qint32 err = errno;
        [[maybe_unused]] ssize_t n = ::write(reportWrite, &err, 4);
        ::_exit(127);
    }

    ::close(theirs);
    ::close(reportWrite);
    ::close(devNull);
    int st = 0;
    while (::waitpid(middle, &st, 0) < 0 && errno == EINTR) {
    }
    qint32 words[2] = {-1, 0};
    ssize_t got = 0;
    char* dst = reinterpret_cast<char*>(words);
    while (got < 8) {
        const ssize_t n = ::read(reportRead, dst + got, size_t(8 - got));
        if (n > 0)
            got += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    ::close(reportRead);
    if (got < 4 || words[0] <= 0) {
        ::close(ours);
        return result;
    }
    if (got >= 8) {
        ::close(ours);
        result.status = statusForExecErrno(words[1]);
        return result;
    }
    result.status = noErr;
    result.pid = words[0];
    result.channel = ours;
    return result;
}

// Delivers to the running instance; noErr, or the last failure when it could
// not be reached. *gone is set when the instance turned out not to run.
OSStatus deliverToRunning(const QString& dir, const QString& key, const AppleEvent& event, ProcessSerialNumber* psn,
                          bool* gone)
{
    *gone = false;
    const QString lockPath = transport::instanceLockPath(dir, key);
    QDeadlineTimer deadline(kRunningRetryMs);
    OSStatus last = procNotFound;
    for (;;) {
        bool busy = false;
        const int probe = transport::lockFile(lockPath, false, &busy);
        if (probe >= 0) {
            ::close(probe);
            *gone = true;
            return procNotFound;
        }
        if (const auto running = transport::readInstancePsn(transport::instancePsnPath(dir, key));
            running && running->isAlive()) {
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
    const QString dir = EventManager::runtimeDirectory();
    if (dir.isEmpty())
        return kLSServerCommunicationErr;
    const QString key = transport::appKey(program);

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
            launchLock = transport::lockFile(transport::launchLockPath(dir, key), false, &busy);
            if (launchLock >= 0)
                break;
            if (!busy)
                return kLSServerCommunicationErr;
            if (turn.hasExpired())
                return kLSLaunchInProgressErr;
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

    Spawned spawned = spawnDetached(program, flags);
    if (spawned.status != noErr) {
        if (launchLock >= 0)
            ::close(launchLock);
        return spawned.status;
    }
    ProcessSerialNumber started =
        ProcessSerialNumber::forPid(spawned.pid).value_or(ProcessSerialNumber{0, quint32(spawned.pid)});
    const QByteArray payload = event ? event->encode() : QByteArray();
    transport::writeFrame(spawned.channel, payload, kHandOverTimeoutMs);
    OSStatus status = noErr;
    if (!(flags & kLSLaunchAsync)) {
        char reply[12];
        if (transport::readExact(spawned.channel, reply, sizeof reply, kHandOverTimeoutMs)) {
            std::memcpy(&status, reply, 4);
            ProcessSerialNumber receiver;
            std::memcpy(&receiver.highLongOfPSN, reply + 4, 4);
            std::memcpy(&receiver.lowLongOfPSN, reply + 8, 4);
            if (!receiver.isNull())
                started = receiver;
        }
        // No answer: the program runs without an EventManager (or ended).
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
    const QString dir = EventManager::runtimeDirectory();
    if (dir.isEmpty())
        return {};
    const QString key = transport::appKey(program);
    bool busy = false;
    const int probe = transport::lockFile(transport::instanceLockPath(dir, key), false, &busy);
    if (probe >= 0) {
        ::close(probe);
        return {};
    }
    const auto running = transport::readInstancePsn(transport::instancePsnPath(dir, key));
    return running && running->isAlive() ? *running : ProcessSerialNumber{};
}

OSStatus sendEvent(const AppleEvent& event, const ProcessSerialNumber& psn, int timeoutMs)
{
    if (psn.isNull() || !psn.isAlive())
        return procNotFound;
    const QString dir = EventManager::runtimeDirectory();
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
