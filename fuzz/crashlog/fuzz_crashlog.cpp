// Cuts arbitrary bytes as a crash log, through the file path the programs
// use (UTF-8 decoding included), and checks what every cut must satisfy.
#include "QNCrashLogFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return 0;
    const QStringList entries = QNCrashLogFile::entriesFromText(text);
    qsizetype total = 0;
    for (const QString& e : entries) {
        // Every entry is a piece of the text, and the pieces never overlap.
        if (!text.contains(e))
            abort();
        total += e.size();
    }
    if (total > text.size())
        abort();
    if (!entries.isEmpty() && !text.contains(QLatin1String("**********")))
        abort();
    return 0;
}
