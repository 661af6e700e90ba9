// SPDX-License-Identifier: MIT
// tools/qncrypt: encrypts and decrypts .qne files and prints MD5 digests.
// File names are taken byte for byte from the command line, so names that are
// not valid UTF-8 work as well as any other.
#include "QNCrypto.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QList>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: qncrypt encrypt KEY [--] FILE...      write FILE.qne beside each FILE\n"
    "       qncrypt decrypt KEY [--] FILE.qne...  restore each file beside its .qne\n"
    "       qncrypt cat KEY [--] FILE.qne...      write the archived contents to stdout\n"
    "       qncrypt md5 [--] TEXT...              print the MD5 digest of each TEXT\n"
    "       qncrypt --help\n"
    "\n"
    "KEY is one of (at most 72 UTF-8 bytes of the key are used):\n"
    "  --key-file FILE   read the key from the first line of FILE\n"
    "  -k -              read the key from the first line of standard input\n"
    "  -k, --key KEY     the key itself. Warning: a key given this way is visible\n"
    "                    to every user of the computer (ps, /proc); prefer\n"
    "                    --key-file or -k -.\n"
    "\n"
    "  --                ends the options: every later argument is a name, even\n"
    "                    one that starts with '-'.\n"
    "\n"
    "Exit status: 0 on success, 1 when a file failed, 2 on a usage error.\n";

int usageError(const char* message)
{
    std::fprintf(stderr, "qncrypt: %s\n%s", message, kUsage);
    return 2;
}

void printError(const QByteArray& path, const std::optional<QNError>& error)
{
    std::fprintf(stderr, "qncrypt: %s: %s (error %d)\n", path.constData(),
                 error ? qPrintable(error->localizedDescription()) : "failed", error ? error->code : 0);
}

void printLine(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
}

// The first line of a stream, without its line end.
QByteArray firstLine(std::FILE* stream)
{
    QByteArray line;
    for (int c; (c = std::fgetc(stream)) != EOF && c != '\n';)
        line.append(char(c));
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Bytes as given: QCoreApplication::arguments() would decode them.
    QList<QByteArray> args;
    for (int i = 1; i < argc; ++i)
        args.append(QByteArray(argv[i]));
    if (args.isEmpty())
        return usageError("no command given");
    if (args.first() == "--help" || args.first() == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const QByteArray command = args.takeFirst();

    QByteArray key;
    bool haveKey = false;
    QList<QByteArray> names;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QByteArray& a = args.at(i);
        if (a == "--") {
            names.append(args.mid(i + 1));
            break;
        }
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (command != "md5" && (a == "-k" || a == "--key")) {
            if (++i >= args.size())
                return usageError("the key option needs a value");
            if (args.at(i) == "-") {
                key = firstLine(stdin);
            } else {
                key = args.at(i);
            }
            haveKey = true;
        } else if (command != "md5" && a == "--key-file") {
            if (++i >= args.size())
                return usageError("--key-file needs a path");
            std::FILE* f = std::fopen(args.at(i).constData(), "rb");
            if (!f)
                return usageError("cannot read the key file");
            key = firstLine(f);
            std::fclose(f);
            haveKey = true;
        } else if (a.startsWith('-') && a.size() > 1) {
            return usageError("unknown option (use -- before names that start with '-')");
        } else {
            names.append(a);
        }
    }

    if (command == "md5") {
        if (names.isEmpty())
            return usageError("md5 needs a text");
        for (const QByteArray& text : names)
            std::printf("%s\n", qPrintable(QNCrypto::md5(QString::fromUtf8(text))));
        return 0;
    }
    if (command != "encrypt" && command != "decrypt" && command != "cat")
        return usageError("unknown command");
    if (!haveKey || key.isEmpty())
        return usageError("a non-empty key is required");
    if (names.isEmpty())
        return usageError("no file given");

    const QString keyText = QString::fromUtf8(key);
    int status = 0;
    for (const QByteArray& name : names) {
        std::optional<QNError> error;
        if (command == "cat") {
            const auto data = QNCrypto::dataByDecryptingFileAtNativePath(name, keyText, {}, {}, &error);
            if (!data) {
                printError(name, error);
                status = 1;
                continue;
            }
            std::fwrite(data->constData(), 1, size_t(data->size()), stdout);
            continue;
        }
        const QByteArray result = command == "encrypt"
            ? QNCrypto::encryptFileAtNativePath(name, keyText, {}, {}, &error)
            : QNCrypto::decryptFileAtNativePath(name, keyText, {}, {}, &error);
        if (result.isEmpty()) {
            printError(name, error);
            status = 1;
        } else {
            printLine(result);
        }
    }
    return status;
}
