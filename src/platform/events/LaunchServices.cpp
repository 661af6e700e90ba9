// SPDX-License-Identifier: MIT
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
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
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

// What the two launch children share with the launching thread: they run in
// its memory (clone with CLONE_VM), so nothing has to travel through a pipe.
struct LaunchShared {
    const char* exe;
    char** argv;
    char** envp;
    int devNull;
    int theirs;
    char* grandchildStack;  // top of the stack the program's process starts on
    pid_t child;            // set by the middle process: the program's pid, or -errno
    int execErrno;          // set by the program's process when execve fails
    bool keepStandardError; // the launcher's terminal stays the program's stderr
};

// The program's process: the launcher's signal state undone, stdio on
// /dev/null (stderr may stay the launcher's terminal), the hand-over socket
// kept open across execve.
int launchGrandchild(void* arg)
{
    auto* shared = static_cast<LaunchShared*>(arg);
    ::dup2(shared->devNull, 0);
    ::dup2(shared->devNull, 1);
    if (!shared->keepStandardError)
        ::dup2(shared->devNull, 2);
    ::fcntl(shared->theirs, F_SETFD, 0);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(shared->exe, shared->argv, shared->envp);
    shared->execErrno = errno;
    ::_exit(127);
}

// The middle process: a new session, then the program's process, then gone,
// so that the program is nobody's child here. The handlers are reset before
// anything can unblock a signal: they would run in the launcher's memory.
int launchMiddle(void* arg)
{
    auto* shared = static_cast<LaunchShared*>(arg);
    for (int sig = 1; sig < NSIG; ++sig)
        ::signal(sig, SIG_DFL);
    ::setsid();
    // CLONE_VFORK: this process waits until the program's process has called
    // execve (or failed), so execErrno is final when it returns.
    const pid_t child = ::clone(launchGrandchild, shared->grandchildStack, CLONE_VM | CLONE_VFORK | SIGCHLD, shared);
    shared->child = child < 0 ? -errno : child;
    ::_exit(0);
}

// Starts the program detached: a middle process in a new session starts it
// and exits. Both children are created with CLONE_VM | CLONE_VFORK, as
// posix_spawn does: a fork would copy the page tables of the launcher, which
// costs milliseconds in a Qt program and delays the launcher for nothing.
// Everything the children need is prepared before; they make system calls
// only.
Spawned spawnDetached(const QString& program, quint32 flags)
{
    Spawned result;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return result;
    const int ours = moveAbove2(sv[0]);
    const int theirs = moveAbove2(sv[1]);
    const int devNull = moveAbove2(::open("/dev/null", O_RDWR | O_CLOEXEC));
    auto closeAll = [&] {
        for (int fd : {ours, theirs, devNull})
            if (fd >= 0)
                ::close(fd);
    };
    if (ours < 0 || theirs < 0 || devNull < 0) {
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

    // One mapping holds both children's stacks (they grow down from the top
    // of each half).
    constexpr size_t kStackSize = 64 * 1024;
    void* stacks = ::mmap(nullptr, 2 * kStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK,
                          -1, 0);
    if (stacks == MAP_FAILED) {
        closeAll();
        return result;
    }
    LaunchShared shared{exe.constData(), argv, envp.data(), devNull, theirs,
                        static_cast<char*>(stacks) + 2 * kStackSize, 0, 0,
                        (flags & kLSLaunchKeepTerminalStandardError) && ::isatty(2) == 1};

    // Signals stay blocked until the children have reset their handlers.
    sigset_t all, previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const int savedErrno = errno;
    const pid_t middle = ::clone(launchMiddle, static_cast<char*>(stacks) + kStackSize, CLONE_VM | CLONE_VFORK | SIGCHLD,
                                 &shared);
    errno = savedErrno;  // the children share this thread's errno
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::munmap(stacks, 2 * kStackSize);

    ::close(theirs);
    ::close(devNull);
    if (middle < 0) {
        ::close(ours);
        return result;
    }
    int st = 0;
    while (::waitpid(middle, &st, 0) < 0 && errno == EINTR) {
    }
    if (shared.child <= 0) {
        ::close(ours);
        return result;
    }
    if (shared.execErrno != 0) {
        ::close(ours);
        result.status = statusForExecErrno(shared.execErrno);
        return result;
    }
    result.status = noErr;
    result.pid = shared.child;
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
