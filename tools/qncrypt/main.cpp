// qncrypt: encrypt and decrypt .qne files and print MD5 digests.
#include "QNCrypto.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: qncrypt encrypt -k KEY FILE...   write FILE.qne beside each FILE\n"
    "       qncrypt decrypt -k KEY FILE.qne... restore each file beside its .qne\n"
    "       qncrypt cat -k KEY FILE.qne        write the archived contents to stdout\n"
    "       qncrypt md5 TEXT...                print the MD5 digest of each TEXT\n"
    "       qncrypt --help\n"
    "\n"
    "Options:\n"
    "  -k, --key KEY       the key text (at most 72 UTF-8 bytes are used)\n"
    "  --key-file PATH     read the key from the first line of PATH\n"
    "\n"
    "Exit status: 0 on success, 1 when a file failed, 2 on a usage error.\n";

int usageError(const char* message)
{
    std::fprintf(stderr, "qncrypt: %s\n%s", message, kUsage);
    return 2;
}

void printError(const QString& path, const std::optional<QNError>& error)
{
    std::fprintf(stderr, "qncrypt: %s: %s (error %d)\n", qPrintable(path),
                 error ? qPrintable(error->localizedDescription()) : "failed", error ? error->code : 0);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usageError("no command given");
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("md5")) {
        if (args.isEmpty())
            return usageError("md5 needs a text");
        for (const QString& text : args)
            std::printf("%s\n", qPrintable(QNCrypto::md5(text)));
        return 0;
    }

    QString key;
    bool haveKey = false;
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("-k") || a == QLatin1String("--key")) {
            if (++i >= args.size())
                return usageError("the key option needs a value");
            key = args.at(i);
            haveKey = true;
        } else if (a == QLatin1String("--key-file")) {
            if (++i >= args.size())
                return usageError("--key-file needs a path");
            QFile f(args.at(i));
            if (!f.open(QIODevice::ReadOnly))
                return usageError("cannot read the key file");
            key = QString::fromUtf8(f.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
            haveKey = true;
        } else if (a == QLatin1String("--")) {
            files.append(args.mid(i + 1));
            break;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return usageError("unknown option");
        } else {
            files.append(a);
        }
    }
    if (!haveKey || key.isEmpty())
        return usageError("a non-empty key is required");
    if (files.isEmpty())
        return usageError("no file given");

    int status = 0;
    if (command == QLatin1String("encrypt") || command == QLatin1String("decrypt")) {
        const bool encrypt = command == QLatin1String("encrypt");
        for (const QString& file : files) {
            std::optional<QNError> error;
            const QString result = encrypt ? QNCrypto::encryptFileAtPath(file, key, {}, {}, &error)
                                           : QNCrypto::decryptFileAtPath(file, key, {}, {}, &error);
            if (result.isEmpty()) {
                printError(file, error);
                status = 1;
            } else {
                std::printf("%s\n", qPrintable(result));
            }
        }
    } else if (command == QLatin1String("cat")) {
        for (const QString& file : files) {
            std::optional<QNError> error;
            const auto data = QNCrypto::dataByDecryptingFileAtPath(file, key, {}, {}, &error);
            if (!data) {
                printError(file, error);
                status = 1;
                continue;
            }
            std::fwrite(data->constData(), 1, size_t(data->size()), stdout);
        }
    } else {
        return usageError("unknown command");
    }
    return status;
}
