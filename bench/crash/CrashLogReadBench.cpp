// SPDX-License-Identifier: MIT
// readFromFile on a 50 MB crash log of 10,000 entries, beside `wc -l` on the
// same file. Usage: bench_crashlog_read [folder for the generated log]
#include "QNCrashLogFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double childrenCpuMs()
{
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    const QString path = dir + QStringLiteral("/bench.crash.log");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        QByteArray frames;
        for (int i = 0; i < 60; ++i)
            frames += "/usr/lib/x86_64-linux-gnu/libQt6Core.so.6(_ZN7QObject5eventEP6QEvent+0x1ce)[0x7fa2a7f5f8de]\n";
        for (int i = 0; i < 10000; ++i) {
            f.write("**********\n\nDate/Time:      2026-12-08 21:29:03.762 +0000\nCommand:        bench\n"
                    "Path:           /opt/qnlab/bin/bench\nPID:            " + QByteArray::number(1000 + i)
                    + "\nSignal:         SIGSEGV (11)\nCode:           SEGV_MAPERR (1) at 0x0\n\nBacktrace:\n"
                    + frames + "\n");
        }
    }
    const double mb = QFile(path).size() / 1e6;

    // Wall and CPU time: on a shared machine the CPU figures are the fairer ones.
    std::vector<double> readMs, wcMs, readCpu, wcCpu, lastMs, allMs;
    qsizetype entries = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        const double c0 = cpuMs();
        QNCrashLogFile log(path);  // reads at once
        readMs.push_back(t.nsecsElapsed() / 1e6);
        readCpu.push_back(cpuMs() - c0);
        entries = log.crashEntries() ? log.crashEntries()->size() : -1;
        // Entries become strings when asked for: the newest one (what the
        // reporter shows) and, for scale, all of them.
        t.restart();
        const QString newest = log.crashEntries() ? log.crashEntries()->last() : QString();
        lastMs.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        const QStringList all = log.crashEntries() ? log.crashEntries()->toStringList() : QStringList();
        allMs.push_back(t.nsecsElapsed() / 1e6);
        if (newest.isEmpty() || all.size() != entries)
            return 1;

        t.restart();
        const double w0 = childrenCpuMs();
        QProcess wc;
        wc.start(QStringLiteral("wc"), {QStringLiteral("-l"), path});
        wc.waitForFinished();
        wcMs.push_back(t.nsecsElapsed() / 1e6);
        wcCpu.push_back(childrenCpuMs() - w0);
    }
    const double r = median(readMs), w = median(wcMs);
    const double rc = median(readCpu), wcc = median(wcCpu);
    printf("log: %.1f MB, %lld entries (medians of 5)\n", mb, (long long)entries);
    printf("readFromFile: wall %.1f ms, cpu %.1f ms\n", r, rc);
    printf("wc -l:        wall %.1f ms, cpu %.1f ms\n", w, wcc);
    // The first conversion of all entries gets fresh memory from the kernel;
    // later runs reuse the heap the earlier ones freed.
    printf("then the newest entry as a string: %.3f ms; all %lld entries as strings: %.1f ms "
           "(first run, fresh memory), %.1f ms (later runs)\n",
           median(lastMs), (long long)entries, allMs.front(),
           median(std::vector<double>(allMs.begin() + 1, allMs.end())));
    printf("ratio: wall %.2fx, cpu %.2fx (goal <= 5x)\n", r / w, rc / std::max(wcc, 0.001));
    return 0;
}
