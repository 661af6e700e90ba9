// SPDX-License-Identifier: MIT
// A tracked program that ends the way it is told:
//   qn_test_crasher segv|abort|fpe|stack|thread|thread-overflow|together|quit|exit1|sigterm|sigkill
// It starts crash tracking, prints "observer=<pid>" and acts after a short
// delay (the observer reads the crash log when it learns of the target).
//   early          crashes right after beginTracking returns, before the
//                  event loop runs
//   thread-overflow  overflows the stack of a QThread started after tracking
//   together       two threads (std::thread, plain pthread) fault at once
// QN_CRASHER_DELAY_MS replaces the delay (300 ms).
// With QN_CRASHER_RECORD_ONLY=1 it only arms the crash recorder (no observer)
// and acts at once.
// Without a mode it only touches the file named by QN_CRASHER_MARK (the
// reporter's "reopen" starts it that way) and exits 0.
#include "QNCrashReporterKit.h"
#include "crash/CrashRecorder.h"
#include "events/EventManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <atomic>
#include <cstdlib>
#include <pthread.h>
#include <thread>

// Outside the anonymous namespace so that backtraces name them. The faults are
// on purpose: UBSan must let them reach the crash recorder as signals.
__attribute__((noinline, no_sanitize("undefined"))) void crashWithSegv()
{
    volatile int* volatile p = nullptr;
    *p = 42;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"  // runs until the stack overflows
__attribute__((noinline)) int recurse(int depth)
{
    volatile char pad[1024];
    pad[0] = char(depth);
    return recurse(depth + 1) + pad[0];
}
#pragma GCC diagnostic pop

namespace {

volatile int gZero = 0;
std::atomic<int> gReady{0};

// Both threads fault as soon as both are ready.
void* faultTogether(void*)
{
    gReady.fetch_add(1);
    while (gReady.load() < 2) {
    }
    crashWithSegv();
    return nullptr;
}

__attribute__((no_sanitize("undefined"))) void act(const QByteArray& mode)
{
    if (mode == "segv") {
        crashWithSegv();
    } else if (mode == "abort") {
        abort();
    } else if (mode == "fpe") {
        volatile int numerator = 7;
        volatile int x = numerator / gZero;
        (void)x;
    } else if (mode == "stack") {
        recurse(0);
    } else if (mode == "thread") {
        std::thread t([] { crashWithSegv(); });
        t.join();
    } else if (mode == "thread-overflow") {
        QThread* t = QThread::create([] { recurse(0); });
        t->start();
        t->wait();
    } else if (mode == "together") {
        std::thread a(faultTogether, nullptr);
        pthread_t b;
        pthread_create(&b, nullptr, faultTogether, nullptr);
        a.join();
        pthread_join(b, nullptr);
    } else if (mode == "quit") {
        qn::events::EventManager::terminate(0);
        return;
    } else if (mode == "exit1") {
        exit(1);
    } else if (mode == "sigterm") {
        raise(SIGTERM);
    } else if (mode == "sigkill") {
        raise(SIGKILL);
    }
    fprintf(stderr, "unknown mode %s\n", mode.constData());
    exit(2);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        QFile mark(qEnvironmentVariable("QN_CRASHER_MARK"));
        return mark.open(QIODevice::WriteOnly) ? 0 : 1;
    }
    const QByteArray mode = argv[1];
    if (qgetenv("QN_CRASHER_RECORD_ONLY") == "1") {
        printf("armed=%d\n", qn::crash::CrashRecorder::arm() ? 1 : 0);
        fflush(stdout);
        act(mode);
    }
    const bool tracking = QNCrashReporterKit::sharedInstance().beginTracking();
    printf("tracking=%d\nobserver=%u\n", tracking ? 1 : 0, QNCrashReporterKit::sharedInstance().reporterLowPSN());
    fflush(stdout);
    if (mode == "early")
        crashWithSegv();
    const int delayMs = qEnvironmentVariableIsSet("QN_CRASHER_DELAY_MS") ? qEnvironmentVariableIntValue("QN_CRASHER_DELAY_MS") : 300;
    QTimer::singleShot(delayMs, [mode] { act(mode); });
    return app.exec();
}
