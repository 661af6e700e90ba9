// SPDX-License-Identifier: MIT
// Throughput of encryptData/decryptData beside `openssl enc -bf-ecb -nopad`
// on the same data in the same run. Runs alternate between ours and openssl
// (five rounds, best of each), and both wall time and CPU time are shown:
// on a shared machine CPU time is the steadier figure.
//   bench_crypto [MiB]   (default 64)
#include "QNCrypto.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <time.h>

namespace {

struct Times {
    double wall = 1e9;
    double cpu = 1e9;
};

double cpuNow()
{
    // This process's threads plus every child waited for so far.
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9 + double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

bool measure(Times* best, const std::function<bool()>& run)
{
    QElapsedTimer t;
    const double c0 = cpuNow();
    t.start();
    if (!run())
        return false;
    best->wall = std::min(best->wall, t.nsecsElapsed() / 1e9);
    best->cpu = std::min(best->cpu, cpuNow() - c0);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qsizetype mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 64;
    const qsizetype size = mib << 20;
    const QString key = QStringLiteral("0123456789abcdef");  // 16 bytes: openssl enc takes it as is

    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);

    std::optional<QByteArray> encrypted = QNCrypto::encryptData(data, key);

    // openssl reads the same bytes (header + padded data) from a file and
    // writes to /dev/null.
    QTemporaryFile input;
    if (!input.open())
        return 1;
    QByteArray block(8, '\0');
    for (int i = 0; i < 8; ++i)
        block[i] = char(quint64(size) >> (8 * (7 - i)));
    input.write(block);
    input.write(data);
    input.flush();
    auto openssl = [&](bool decrypt) {
        QStringList args{"enc", "-bf-ecb", "-nopad", "-K", QString::fromLatin1(key.toLatin1().toHex()),
                         "-provider", "legacy", "-provider", "default", "-in", input.fileName(), "-out", "/dev/null"};
        if (decrypt)
            args.insert(1, "-d");
        return QProcess::execute(QStringLiteral("openssl"), args) == 0;
    };
    // What a fresh output buffer of this size costs by itself (page faults
    // and first touch), which openssl's streaming buffers never pay.
    Times touch;
    for (int round = 0; round < 5; ++round)
        measure(&touch, [&] {
            QByteArray fresh(size, Qt::Uninitialized);
            std::memset(fresh.data(), 1, size_t(size));
            return fresh.at(size - 1) == 1;
        });

    Times enc, dec, refEnc, refDec;
    bool haveOpenssl = true;
    for (int round = 0; round < 5; ++round) {
        measure(&enc, [&] { return bool(encrypted = QNCrypto::encryptData(data, key)); });
        haveOpenssl = haveOpenssl && measure(&refEnc, [&] { return openssl(false); });
        measure(&dec, [&] { return bool(QNCrypto::decryptData(*encrypted, key)); });
        haveOpenssl = haveOpenssl && measure(&refDec, [&] { return openssl(true); });
    }

    auto mbps = [&](double s) { return s > 0 ? double(size) / (1 << 20) / s : 0.0; };
    std::printf("data: %lld MiB             wall MiB/s   CPU MiB/s\n", static_cast<long long>(mib));
    std::printf("encryptData             %9.1f   %9.1f\n", mbps(enc.wall), mbps(enc.cpu));
    std::printf("decryptData             %9.1f   %9.1f\n", mbps(dec.wall), mbps(dec.cpu));
    std::printf("fresh output buffer     %9.1f ms    %7.1f ms CPU\n", touch.wall * 1e3, touch.cpu * 1e3);
    if (!haveOpenssl) {
        std::printf("openssl enc with the legacy provider is not available\n");
        return 0;
    }
    std::printf("openssl enc             %9.1f   %9.1f\n", mbps(refEnc.wall), mbps(refEnc.cpu));
    std::printf("openssl enc -d          %9.1f   %9.1f\n", mbps(refDec.wall), mbps(refDec.cpu));
    std::printf("ratio ours/openssl: encrypt %.2fx wall, %.2fx CPU; decrypt %.2fx wall, %.2fx CPU\n",
                refEnc.wall / enc.wall, refEnc.cpu / enc.cpu, refDec.wall / dec.wall, refDec.cpu / dec.cpu);
    return 0;
}
