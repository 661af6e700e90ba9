// SPDX-License-Identifier: MIT
// The signal handler in this file is async-signal-safe only (man 7
// signal-safety): it allocates nothing, takes no locks and calls only
// write(), read(), alarm(), sigaction(), raise(), clock_gettime() and
// backtrace()/backtrace_symbols_fd(), whose library was loaded at arming time,
// and futex waits through syscall().
//
// Several threads may fault at once. The first one to claim gRecordingThread
// writes the entry; the others wait (bounded) until it is written and then
// die by their own signal, so exactly one entry is written per crash and the
// process never ends before it is on disk.
#include "crash/CrashRecorder.h"

#include "layout/Bundle.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qn::crash {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);
constexpr size_t kAltStackSize = 256 * 1024;
constexpr int kMaxFrames = 64;
constexpr size_t kEntryCapacity = 64 * 1024;

struct State {
    int logFd = -1;
    int pipeRead = -1;    // backtrace_symbols_fd writes here; the handler reads it back
    int pipeWrite = -1;   // so the whole entry goes out in one write()
    long tzOffsetSeconds = 0;
    char header[8192];    // "Command: ...\nPath: ...\n" prepared at arming time
    size_t headerLength = 0;
    struct sigaction previous[kSignalCount];
    char entry[kEntryCapacity];
    void* frames[kMaxFrames];
};

State gState;
std::atomic<bool> gArmed{false};
// The thread that records the crash (0: none yet), and whether its entry is
// written. Both are lock-free atomics, usable in the handler.
std::atomic<pid_t> gRecordingThread{0};
std::atomic<int> gEntryWritten{0};
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free);
QString gLogPath;

pid_t currentThreadId()
{
    return pid_t(syscall(SYS_gettid));
}

// Waits (at most about 10 s) until the recording thread wrote its entry. The
// recorder's own alarm() ends the process after 5 s if it hangs.
void waitForEntryWritten()
{
    for (int i = 0; i < 1000 && !gEntryWritten.load(); ++i) {
        timespec tick{0, 10 * 1000 * 1000};
        syscall(SYS_futex, reinterpret_cast<int*>(&gEntryWritten), FUTEX_WAIT_PRIVATE, 0, &tick, nullptr, 0);
    }
}

void announceEntryWritten()
{
    gEntryWritten.store(1);
    syscall(SYS_futex, reinterpret_cast<int*>(&gEntryWritten), FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
}

// Minimal formatting helpers on a bounded buffer.
struct Out {
    char* buf;
    size_t cap;
    size_t len = 0;
    void put(const char* s, size_t n)
    {
        if (n > cap - len)
            n = cap - len;
        memcpy(buf + len, s, n);
        len += n;
    }
    void put(const char* s) { put(s, strlen(s)); }
    void num(unsigned long long v, int width = 0, int base = 10)
    {
        char tmp[32];
        int n = 0;
        do {
            const int d = int(v % unsigned(base));
            tmp[n++] = char(d < 10 ? '0' + d : 'a' + d - 10);
            v /= unsigned(base);
        } while (v && n < 32);
        while (n < width && n < 32)
            tmp[n++] = '0';
        char rev[32];
        for (int i = 0; i < n; ++i)
            rev[i] = tmp[n - 1 - i];
        put(rev, size_t(n));
    }
    void snum(long long v)
    {
        if (v < 0) {
            put("-");
            num(static_cast<unsigned long long>(-v));
        } else {
            num(static_cast<unsigned long long>(v));
        }
    }
};

// Days since 1970-01-01 to a civil date (H. Hinnant's algorithm).
void civilFromDays(long long z, int& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = (long long)yoe + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int(yy + (m <= 2));
}

const char* signalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

const char* codeName(int sig, int code)
{
    if (code == SI_USER) return "SI_USER";
    if (code == SI_TKILL) return "SI_TKILL";
    if (code == SI_QUEUE) return "SI_QUEUE";
    if (sig == SIGSEGV) {
        if (code == SEGV_MAPERR) return "SEGV_MAPERR";
        if (code == SEGV_ACCERR) return "SEGV_ACCERR";
    } else if (sig == SIGFPE) {
        if (code == FPE_INTDIV) return "FPE_INTDIV";
        if (code == FPE_INTOVF) return "FPE_INTOVF";
        if (code == FPE_FLTDIV) return "FPE_FLTDIV";
        if (code == FPE_FLTINV) return "FPE_FLTINV";
    } else if (sig == SIGBUS) {
        if (code == BUS_ADRALN) return "BUS_ADRALN";
        if (code == BUS_ADRERR) return "BUS_ADRERR";
    } else if (sig == SIGILL) {
        if (code == ILL_ILLOPC) return "ILL_ILLOPC";
        if (code == ILL_ILLOPN) return "ILL_ILLOPN";
    }
    return nullptr;
}

void restoreAndRaise(int sig)
{
    for (int i = 0; i < kSignalCount; ++i) {
        if (kSignals[i] == sig) {
            sigaction(sig, &gState.previous[i], nullptr);
            break;
        }
    }
    // The signal is blocked while this handler runs: it is delivered with the
    // restored action as soon as the handler returns (for a fault, the
    // faulting instruction also runs again).
    raise(sig);
}

void handler(int sig, siginfo_t* info, void*)
{
    const pid_t self = currentThreadId();
    pid_t recorder = 0;
    if (!gRecordingThread.compare_exchange_strong(recorder, self)) {
        if (recorder == self) {
            // A fault inside the handler: give up recording.
            signal(sig, SIG_DFL);
            raise(sig);
            return;
        }
        // Another thread records this crash: once its entry is written the
        // process dies, by its signal or by ours.
        waitForEntryWritten();
        restoreAndRaise(sig);
        return;
    }
    alarm(5);  // a handler that hangs must not keep the process alive
    const int savedErrno = errno;

    Out out{gState.entry, sizeof(gState.entry)};
    out.put("**********\n\nDate/Time:      ");
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const long long local = (long long)ts.tv_sec + gState.tzOffsetSeconds;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    int y;
    unsigned mo, d;
    civilFromDays(days, y, mo, d);
    out.snum(y);
    out.put("-");
    out.num(mo, 2);
    out.put("-");
    out.num(d, 2);
    out.put(" ");
    out.num((unsigned long long)secs / 3600, 2);
    out.put(":");
    out.num((unsigned long long)(secs % 3600) / 60, 2);
    out.put(":");
    out.num((unsigned long long)secs % 60, 2);
    out.put(".");
    out.num((unsigned long long)ts.tv_nsec / 1000000, 3);
    const long off = gState.tzOffsetSeconds;
    out.put(off < 0 ? " -" : " +");
    const unsigned long aoff = (unsigned long)(off < 0 ? -off : off);
    out.num(aoff / 3600, 2);
    out.num((aoff % 3600) / 60, 2);
    out.put("\n");
    out.put(gState.header, gState.headerLength);
    out.put("PID:            ");
    out.num((unsigned long long)getpid());
    out.put("\nThread:         ");
    out.num((unsigned long long)syscall(SYS_gettid));
    out.put("\nSignal:         ");
    out.put(signalName(sig));
    out.put(" (");
    out.num((unsigned long long)sig);
    out.put(")\nCode:           ");
    const int code = info ? info->si_code : 0;
    if (const char* cn = codeName(sig, code)) {
        out.put(cn);
        out.put(" (");
        out.snum(code);
        out.put(")");
    } else {
        out.snum(code);
    }
    if (info && (sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE) && code > 0) {
        out.put(" at 0x");
        out.num((unsigned long long)(uintptr_t)info->si_addr, 0, 16);
    }
    out.put("\n\nBacktrace:\n");

    const int n = backtrace(gState.frames, kMaxFrames);
    if (gState.pipeWrite >= 0 && n > 0) {
        backtrace_symbols_fd(gState.frames, n, gState.pipeWrite);
        for (;;) {
            if (out.len >= out.cap)
                break;
            const ssize_t got = read(gState.pipeRead, out.buf + out.len, out.cap - out.len);
            if (got <= 0)
                break;
            out.len += size_t(got);
        }
    }
    if (out.len == out.cap)
        out.len = out.cap - 1;
    if (out.buf[out.len - 1] != '\n')
        out.put("\n");

    size_t done = 0;
    while (done < out.len) {
        const ssize_t w = write(gState.logFd, out.buf + done, out.len - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        done += size_t(w);
    }
    announceEntryWritten();
    errno = savedErrno;
    restoreAndRaise(sig);
}

}  // namespace

QString CrashRecorder::logPathForName(const QString& name)
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/qnlab/CrashReporter/") + name + QStringLiteral(".crash.log");
}

bool CrashRecorder::isArmed()
{
    return gArmed.load();
}

QString CrashRecorder::logPath()
{
    return gLogPath;
}

bool CrashRecorder::installAlternateStack()
{
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_size >= kAltStackSize)
        return true;
    // One stack per thread for the process's life: a thread may still be on
    // it when it ends, so it is never freed.
    void* mem = ::operator new(kAltStackSize, std::nothrow);
    if (!mem)
        return false;
    stack_t st{};
    st.ss_sp = mem;
    st.ss_size = kAltStackSize;
    st.ss_flags = 0;
    if (sigaltstack(&st, nullptr) != 0) {
        ::operator delete(mem);
        return false;
    }
    return true;
}

namespace {

// Stacks given to threads by threadStarted(): one mapping each (a guard page
// below the stack), unmapped by the key's destructor when the thread ends.
pthread_key_t gThreadStackKey;
pthread_once_t gThreadStackKeyOnce = PTHREAD_ONCE_INIT;
constexpr size_t kGuardSize = 4096;

void releaseThreadStack(void* mapping)
{
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_ONSTACK))
        return;  // ending from inside a handler: the stack is in use, keep it
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(mapping, kGuardSize + kAltStackSize);
}

void makeThreadStackKey()
{
    pthread_key_create(&gThreadStackKey, releaseThreadStack);
}

}  // namespace

bool CrashRecorder::threadStarted()
{
    if (!gArmed.load())
        return false;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return true;
    pthread_once(&gThreadStackKeyOnce, makeThreadStackKey);
    void* mapping = mmap(nullptr, kGuardSize + kAltStackSize, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED)
        return false;
    mprotect(mapping, kGuardSize, PROT_NONE);
    stack_t st{};
    st.ss_sp = static_cast<char*>(mapping) + kGuardSize;
    st.ss_size = kAltStackSize;
    if (sigaltstack(&st, nullptr) != 0 || pthread_setspecific(gThreadStackKey, mapping) != 0) {
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(mapping, kGuardSize + kAltStackSize);
        return false;
    }
    return true;
}

bool CrashRecorder::arm(const QString& givenName)
{
    if (gArmed.load())
        return true;
    const QString exe = Bundle::mainExecutablePath();
    const QString name = givenName.isEmpty() ? QFileInfo(exe).fileName() : givenName;
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    const QString path = logPathForName(name);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;

    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        gState.pipeRead = fds[0];
        gState.pipeWrite = fds[1];
    }
    gState.logFd = fd;

    // Loads libgcc's unwinder now: the first backtrace() call may allocate.
    void* warm[4];
    backtrace(warm, 4);

    const time_t now = time(nullptr);
    struct tm lt{};
    localtime_r(&now, &lt);
    gState.tzOffsetSeconds = lt.tm_gmtoff;

    const QByteArray header = "Command:        " + name.toUtf8() + "\nPath:           " + exe.toUtf8() + "\n";
    gState.headerLength = std::min(size_t(header.size()), sizeof(gState.header));
    memcpy(gState.header, header.constData(), gState.headerLength);

    installAlternateStack();
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction sa{};
        sa.sa_sigaction = handler;
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&sa.sa_mask);
        sigaction(kSignals[i], &sa, &gState.previous[i]);
    }
    gLogPath = path;
    gArmed.store(true);
    return true;
}

}  // namespace qn::crash
