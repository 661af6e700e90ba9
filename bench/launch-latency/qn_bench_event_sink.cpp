// SPDX-License-Identifier: MIT
// Minimal receiving program for the launch benchmark. It writes the
// CLOCK_MONOTONIC time (ns) to QN_BENCH_STAMP when its first event arrives
// and quits; with --bare it writes the time when its event loop first runs,
// without any event machinery.
#include "events/EventManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstring>
#include <ctime>

namespace {

void stamp()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    QFile f(qEnvironmentVariable("QN_BENCH_STAMP"));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(QByteArray::number(qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--bare") == 0) {
        QTimer::singleShot(0, [] {
            stamp();
            QCoreApplication::exit(0);
        });
        return app.exec();
    }
    qn::events::EventManager events;
    events.installHandler(qn::events::typeWildCard, qn::events::typeWildCard, [](const qn::events::AppleEvent&) {
        stamp();
        qn::events::EventManager::terminate(0);
    });
    if (events.start() == qn::events::EventManager::StartResult::ForwardedToRunningInstance)
        return 0;
    return app.exec();
}
