// Throughput of encryptData/decryptData beside `openssl enc -bf-ecb -nopad`
// on the same data in the same run (best of three each).
//   bench_crypto [MiB]   (default 64)
#include "QNCrypto.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

double bestSeconds(const std::function<bool()>& run)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        if (!run())
            return -1;
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    return best;
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

    std::optional<QByteArray> encrypted;
    const double enc = bestSeconds([&] { return bool(encrypted = QNCrypto::encryptData(data, key)); });
    const double dec = bestSeconds([&] { return bool(QNCrypto::decryptData(*encrypted, key)); });

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
    const double refEnc = bestSeconds([&] { return openssl(false); });
    const double refDec = bestSeconds([&] { return openssl(true); });

    auto mbps = [&](double s) { return s > 0 ? double(size) / (1 << 20) / s : 0.0; };
    std::printf("data: %lld MiB\n", static_cast<long long>(mib));
    std::printf("encryptData        %8.1f MiB/s\n", mbps(enc));
    std::printf("openssl enc        %8.1f MiB/s\n", mbps(refEnc));
    std::printf("decryptData        %8.1f MiB/s\n", mbps(dec));
    std::printf("openssl enc -d     %8.1f MiB/s\n", mbps(refDec));
    if (refEnc > 0 && refDec > 0)
        std::printf("ratio (ours/openssl): encrypt %.2fx, decrypt %.2fx\n", refEnc / enc, refDec / dec);
    else
        std::printf("openssl enc with the legacy provider is not available\n");
    return 0;
}
