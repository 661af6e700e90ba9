// SPDX-License-Identifier: MIT
// Times symbolising a 30-frame backtrace of this program (built with debug
// information) the way the reporter does it: raw frames as the crash
// recorder writes them (backtrace_symbols), a fresh symbolizer each run.
// Prints the median of 5 runs and one symbolised trace. Goal: <= 0.2 s.
// With a crash log as argument, also times its newest entry's frames.
#include "QNBacktraceSymbolizer.h"
#include "QNCrashLogFile.h"

#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <execinfo.h>
#include <vector>

namespace {
QStringList gFrames;
}

__attribute__((noinline)) void captureAtDepth(int depth)
{
    if (depth > 0) {
        captureAtDepth(depth - 1);
        asm volatile("" ::: "memory");  // no tail call: every level keeps its frame
        return;
    }
    void* frames[30];
    const int n = backtrace(frames, 30);
    char** symbols = backtrace_symbols(frames, n);
    for (int i = 0; i < n; ++i)
        gFrames << QString::fromLocal8Bit(symbols[i]);
    std::free(symbols);
}

namespace {

void timeFrames(const char* what, const QStringList& frames)
{
    std::vector<double> ms;
    QStringList out;
    int resolved = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        out = QNBacktraceSymbolizer::symbolize(frames, &resolved);
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    const double first = ms.front();
    std::sort(ms.begin(), ms.end());
    std::printf("%s: %lld frames, %d resolved; median %.1f ms, first run %.1f ms, slowest %.1f ms (goal <= 200 ms)\n",
                what, (long long)frames.size(), resolved, ms[2], first, ms.back());
    for (qsizetype i = 0; i < std::min<qsizetype>(out.size(), 4); ++i)
        std::printf("  %s\n", qPrintable(out.at(i)));
}

}  // namespace

int main(int argc, char** argv)
{
    captureAtDepth(40);
    timeFrames("30-frame trace of this program", gFrames);
    if (argc > 1) {
        QNCrashLogFile log(QString::fromLocal8Bit(argv[1]));
        if (log.crashEntries() && !log.crashEntries()->isEmpty())
            timeFrames("newest entry of the log", QNBacktraceSymbolizer::rawFrames(log.crashEntries()->last()));
    }
    return 0;
}
