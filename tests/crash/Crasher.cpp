// A tracked program that ends the way it is told:
//   qn_test_crasher segv|abort|fpe|stack|thread|quit|exit1|sigterm|sigkill
// It starts crash tracking, prints "observer=<pid>" and acts after a short
// delay (the observer reads the crash log when it learns of the target).
// Without a mode it only touches the file named by QN_CRASHER_MARK (the
// reporter's "reopen" starts it that way) and exits 0.
#include "QNCrashReporterKit.h"
#include "crash/CrashRecorder.h"
#include "events/EventManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

// Outside the anonymous namespace so that backtraces name them.
__attribute__((noinline)) void crashWithSegv()
{
    volatile int* volatile p = nullptr;
    *p = 42;
}

__attribute__((noinline)) int recurse(int depth)
{
    volatile char pad[1024];
    pad[0] = char(depth);
    return recurse(depth + 1) + pad[0];
}

namespace {

volatile int gZero = 0;

void act(const QByteArray& mode)
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
        std::thread t([] {
            qn::crash::CrashRecorder::installAlternateStack();
            crashWithSegv();
        });
        t.join();
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
    const bool tracking = QNCrashReporterKit::sharedInstance().beginTracking();
    printf("tracking=%d\nobserver=%u\n", tracking ? 1 : 0, QNCrashReporterKit::sharedInstance().reporterLowPSN());
    fflush(stdout);
    QTimer::singleShot(300, [mode] { act(mode); });
    return app.exec();
}
