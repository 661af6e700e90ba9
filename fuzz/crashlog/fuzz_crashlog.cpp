// SPDX-License-Identifier: MIT
// Cuts arbitrary bytes as a crash log and compares the result with a plain
// reference cutter that decodes the whole text first (malformed UTF-8 becomes
// U+FFFD) and walks it character by character. Both must agree on every
// entry.
#include "QNCrashLogFile.h"

#include <QStringDecoder>

#include <cstdint>
#include <cstdlib>

namespace {

QStringList referenceCut(const QString& text)
{
    QList<qsizetype> starts;
    const qsizetype n = text.size();
    qsizetype pos = 0;
    for (;;) {
        const qsizetype mark = pos;
        while (pos < n && text[pos].isSpace())
            ++pos;
        if (pos >= n)
            break;
        const qsizetype lineStart = pos;
        while (pos < n && text[pos] != u'\n' && text[pos] != u'\r')
            ++pos;
        if (text.sliced(lineStart, pos - lineStart) == QLatin1String("**********"))
            starts.append(mark);
    }
    QStringList entries;
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype end = i + 1 < starts.size() ? starts.at(i + 1) : n;
        const QString chunk = text.sliced(starts.at(i), end - starts.at(i));
        const qsizetype date = chunk.indexOf(QLatin1String("Date/Time"));
        entries.append(date >= 0 ? chunk.sliced(date) : chunk);
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // Stateless: a sequence cut short at the end is replaced, not held back.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    const std::optional<QNCrashEntryList> entries = QNCrashLogFile::entriesFromUtf8(bytes);
    if (!entries || entries->toStringList() != referenceCut(text))
        abort();
    return 0;
}
