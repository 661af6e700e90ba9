// SPDX-License-Identifier: MIT
// Measures how long a launch with an initial event takes until the launched
// program dispatches that event, next to how long the same program takes to
// reach its event loop when started plainly. Prints medians and their ratio.
#include "events/LaunchServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace qn::events;

namespace {

qint64 nowNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 readStamp(const QString& path, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; ++waited) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            bool ok = false;
            const qint64 v = f.readAll().toLongLong(&ok);
            if (ok)
                return v;
        }
        QThread::usleep(200);
    }
    return -1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const QString sink = QCoreApplication::applicationDirPath() + QStringLiteral("/qn_bench_event_sink");
    QTemporaryDir scratch;
    const QString stampPath = scratch.path() + QStringLiteral("/stamp");
    qputenv("QN_BENCH_STAMP", QFile::encodeName(stampPath));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QDir().mkpath(scratch.path() + QStringLiteral("/runtime"));
        QFile::setPermissions(scratch.path() + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(scratch.path() + QStringLiteral("/runtime")));
    }

    std::vector<double> launched, returned, bare;
    for (int i = 0; i < iterations; ++i) {
        QFile::remove(stampPath);
        AppleEvent event(fourCC("QNbn"), fourCC("Ping"));
        event.putParam(keyDirectObject, Descriptor::fromInt32(i));
        ProcessSerialNumber psn;
        const qint64 t0 = nowNs();
        const OSStatus s = LaunchServices::openApplication(sink, kLSLaunchDefaults, &event, &psn);
        if (s != noErr) {
            std::fprintf(stderr, "launch failed: %d\n", int(s));
            return 1;
        }
        const qint64 tReturned = nowNs();
        const qint64 t1 = readStamp(stampPath, 10000);
        if (t1 < 0) {
            std::fprintf(stderr, "no event stamp\n");
            return 1;
        }
        launched.push_back((t1 - t0) / 1e6);
        returned.push_back((tReturned - t0) / 1e6);
        while (psn.isAlive())
            QThread::usleep(500);

        QFile::remove(stampPath);
        const QByteArray exe = QFile::encodeName(sink);
        char bareArg[] = "--bare";
        char* args[] = {const_cast<char*>(exe.constData()), bareArg, nullptr};
        pid_t pid = -1;
        const qint64 b0 = nowNs();
        if (::posix_spawn(&pid, exe.constData(), nullptr, nullptr, args, environ) != 0)
            return 1;
        const qint64 b1 = readStamp(stampPath, 10000);
        ::waitpid(pid, nullptr, 0);
        if (b1 < 0)
            return 1;
        bare.push_back((b1 - b0) / 1e6);
    }
    const double ml = median(launched), mb = median(bare);
    std::printf("iterations                         %d\n", iterations);
    std::printf("launch to first event (median ms)  %.2f\n", ml);
    std::printf("openApplication returns (median ms) %.2f\n", median(returned));
    std::printf("bare start-up to loop (median ms)  %.2f\n", mb);
    std::printf("ratio                              %.2f\n", mb > 0 ? ml / mb : 0.0);
    return 0;
}
