// SPDX-License-Identifier: MIT
// Latency from plugging a simulated drive in one process to its appearance in
// the drive scanner of another (this one). qn-simdrive plugs and unplugs; the
// time of each change is the millisecond timestamp it writes to the machine's
// log, the time it is seen is when the scanner's notification arrives here.
// Goal: the slowest of the rounds at most 300 ms.
#include "QNDeviceScanner.h"
#include "hardware/sim/SimMachine.h"
#include "notify/NotificationCenter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 kGoalMs = 300;

struct Series {
    QList<qint64> ms;
    void print(const char* what) const
    {
        QList<qint64> s = ms;
        std::sort(s.begin(), s.end());
        std::printf("%-9s rounds %lld  min %lld ms  median %lld ms  max %lld ms\n", what, qlonglong(s.size()),
                    qlonglong(s.first()), qlonglong(s[s.size() / 2]), qlonglong(s.last()));
    }
};

// Timestamp of the newest log line equal to `text`.
qint64 loggedAt(const qn::hardware::SimMachine& machine, const QString& text)
{
    const QList<qn::hardware::SimLogEntry> log = machine.readLog();
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->text.startsWith(text))
            return it->time.toMSecsSinceEpoch();
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 20;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("machine.json"));
    qputenv("QNLAB_SIMULATED_HARDWARE", path.toUtf8());
    qn::hardware::SimMachine machine(path);
    QString error;
    if (!machine.create(&error)) {
        std::fprintf(stderr, "drive-plug-latency: %s\n", qPrintable(error));
        return 2;
    }

    QNDeviceScanner scanner;  // over the process's registry, which picks the simulated machine
    scanner.registerCallbackHandlers();
    qint64 seenAt = 0;
    int seen = 0;
    auto& center = qn::NotificationCenter::defaultCenter();
    for (const QString& name : {kQNDevicesAppearedNotification, kQNDevicesDisappearedNotification})
        center.addObserver(name, nullptr, [&](const qn::Notification&) {
            seenAt = QDateTime::currentMSecsSinceEpoch();
            ++seen;
        });

    auto runAndWait = [&](const QStringList& args, const QString& logText, Series& series) {
        const int before = seen;
        QProcess tool;
        tool.start(QStringLiteral(QN_SIMDRIVE), QStringList{QStringLiteral("--machine"), path} + args);
        QDeadlineTimer deadline(10000);
        while (seen == before && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        tool.waitForFinished(10000);
        const qint64 changedAt = loggedAt(machine, logText);
        if (seen == before || changedAt < 0) {
            std::fprintf(stderr, "drive-plug-latency: \"%s\" was not seen within 10 s\n", qPrintable(logText));
            return false;
        }
        series.ms.append(seenAt - changedAt);
        return true;
    };

    Series plug, unplug;
    for (int i = 0; i < rounds; ++i) {
        const QString name = QStringLiteral("sr%1").arg(i);
        if (!runAndWait({QStringLiteral("plug"), QStringLiteral("--name"), name}, QStringLiteral("plug ") + name, plug) ||
            !runAndWait({QStringLiteral("unplug"), name}, QStringLiteral("unplug ") + name, unplug))
            return 1;
    }
    plug.print("plug");
    unplug.print("unplug");
    const qint64 worst = std::max(*std::max_element(plug.ms.begin(), plug.ms.end()),
                                  *std::max_element(unplug.ms.begin(), unplug.ms.end()));
    std::printf("goal: at most %lld ms -> %s (worst %lld ms)\n", qlonglong(kGoalMs), worst <= kGoalMs ? "met" : "MISSED",
                qlonglong(worst));
    return worst <= kGoalMs ? 0 : 1;
}
