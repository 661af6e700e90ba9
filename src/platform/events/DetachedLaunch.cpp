// SPDX-License-Identifier: MIT
#include "events/DetachedLaunch.h"

#include "events/LaunchHandOver.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qn::events {

namespace {

LaunchError launchErrorForExecErrno(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return LaunchError::NoLaunchPermission;
    case ENOEXEC:
    case ELIBBAD:
        return LaunchError::ExecutableIncorrectFormat;
    case ENOENT:
    case ENOTDIR:
        return LaunchError::NoExecutable;
    default:
        return LaunchError::Unknown;
    }
}

int moveAbove2(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}


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

}  // namespace

// Starts the program detached: a middle process in a new session starts it
// and exits. Both children are created with CLONE_VM | CLONE_VFORK, as
// posix_spawn does: a fork would copy the page tables of the launcher, which
// costs milliseconds in a Qt program and delays the launcher for nothing.
// Everything the children need is prepared before; they make system calls
// only.
DetachedProgram startDetached(const QString& program, quint32 flags)
{
    DetachedProgram result;
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
        if (std::strncmp(*e, "QNLAB_LAUNCH_", 13) == 0)  // a launcher's own hand-over
            continue;
        envStore.emplace_back(*e);
    }
    envStore.push_back(QByteArray(LaunchHandOver::kFdVariable) + '=' + QByteArray::number(theirs));
    envStore.push_back(QByteArray(LaunchHandOver::kFlagsVariable) + '=' + QByteArray::number(flags, 16));
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
        result.status = toStatus(launchErrorForExecErrno(shared.execErrno));
        return result;
    }
    result.status = noErr;
    result.pid = shared.child;
    result.channel = ours;
    return result;
}

}  // namespace qn::events
