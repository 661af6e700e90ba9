// SPDX-License-Identifier: MIT
// One transfer through the engine in background mode; prints the result code,
// the bytes moved, the wall time and the peak resident memory as one line of
// key=value pairs for run_bench.py.
//
//   qn_bench_transfer download <url> <local path> [user password]
//   qn_bench_transfer upload   <url> <local path> [user password]
#include "QNLowNetwork.h"
#include "notify/NotificationCenter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 && args.size() != 6) {
        std::fprintf(stderr, "usage: %s download|upload <url> <local path> [user password]\n", argv[0]);
        return 2;
    }
    QVariantMap option{{kQNLowNetworkInBackgroundOption, true},
                       {kQNLowNetworkPassiveModeOption, true},
                       {kQNLowNetworkOverwriteOption, 1}};
    if (args.size() == 6) {
        option.insert(kQNLowNetworkUserName, args[4]);
        option.insert(kQNLowNetworkPassword, args[5]);
    }
    QNLowNetwork engine;
    int result = -1;
    qn::NotificationCenter::defaultCenter().addObserver(
        kQNLowNetworkOperationCompleteNotification, &engine, [&](const qn::Notification& n) {
            const int code = n.userInfo.value(kQNLowNetworkResultKey).toInt();
            QMetaObject::invokeMethod(&app, [&, code] {
                result = code;
                app.quit();
            }, Qt::QueuedConnection);
        });
    QElapsedTimer clock;
    clock.start();
    const QUrl url(args[2]);
    const QNLowNetworkResult started = args[1] == QLatin1String("upload")
        ? engine.uploadToURL(url, args[3], nullptr, option)
        : engine.downloadURL(url, args[3], nullptr, option);
    if (started != QNLowNetworkResult::kQNLowNetworkStarted) {
        std::printf("result=%d\n", qint32(started));
        return 1;
    }
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const qint64 bytes = args[1] == QLatin1String("upload") ? QFileInfo(args[3]).size() : QFileInfo(args[3]).size();
    std::printf("result=%d bytes=%lld seconds=%.3f mib_per_s=%.1f maxrss_kib=%ld\n", result,
                static_cast<long long>(bytes), seconds, bytes / 1048576.0 / seconds, usage.ru_maxrss);
    return result == qint32(QNLowNetworkResult::kQNLowNetworkSuccess) ? 0 : 1;
}
