// SPDX-License-Identifier: MIT
#include "QNFTPListParser.h"

#include <QByteArray>
#include <QList>
#include <cstring>

namespace QNFTPListParser {
namespace {

struct Token {
    qsizetype begin;
    qsizetype end;
};

QList<Token> tokenize(const QByteArray& line, int maxTokens)
{
    QList<Token> tokens;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n && tokens.size() < maxTokens) {
        while (i < n && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= n)
            break;
        const qsizetype begin = i;
        while (i < n && line[i] != ' ' && line[i] != '\t')
            ++i;
        tokens.append({begin, i});
    }
    return tokens;
}

QByteArray text(const QByteArray& line, const Token& t)
{
    return line.mid(t.begin, t.end - t.begin);
}

bool allDigits(const QByteArray& s)
{
    if (s.isEmpty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool parseSize(const QByteArray& s, quint64* size)
{
    if (!allDigits(s) || s.size() > 20)
        return false;
    bool ok = false;
    const quint64 v = s.toULongLong(&ok);
    if (ok)
        *size = v;
    return ok;
}

bool isMonth(const QByteArray& s)
{
    static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    if (s.size() != 3)
        return false;
    const QByteArray lower = s.toLower();
    for (const char* m : months)
        if (lower == m)
            return true;
    return false;
}

bool isDay(const QByteArray& s)
{
    if (!allDigits(s) || s.size() > 2)
        return false;
    const int d = s.toInt();
    return d >= 1 && d <= 31;
}

bool isTimeOrYear(const QByteArray& s)
{
    if (s.size() == 4 && allDigits(s))
        return true;
    const qsizetype colon = s.indexOf(':');
    return colon > 0 && colon <= 2 && allDigits(s.left(colon)) && s.size() - colon - 1 == 2
        && allDigits(s.mid(colon + 1));
}

int unixType(char c)
{
    switch (c) {
    case '-': return QNFTPListEntry::RegularFile;
    case 'd': return QNFTPListEntry::Directory;
    case 'l': return QNFTPListEntry::Link;
    case 'c': return QNFTPListEntry::CharDevice;
    case 'b': return QNFTPListEntry::BlockDevice;
    case 'p': return QNFTPListEntry::Fifo;
    case 's': return QNFTPListEntry::Socket;
    default: return QNFTPListEntry::Unknown;
    }
}

bool isPermissions(const QByteArray& s)
{
    if (s.size() < 10 || unixType(s[0]) == QNFTPListEntry::Unknown)
        return false;
    for (int i = 1; i < 10; ++i)
        if (!std::strchr("rwxsStTlL-", s[i]))
            return false;
    return true;
}

bool parseUnix(const QByteArray& line, QNFTPListEntry* entry)
{
    const QList<Token> tokens = tokenize(line, 64);
    if (tokens.size() < 6 || !isPermissions(text(line, tokens[0])))
        return false;
    // Owner and group columns vary between servers; the date is the anchor:
    // <size> <month> <day> <time or year> <name>.
    for (qsizetype m = 2; m + 2 < tokens.size(); ++m) {
        if (!isMonth(text(line, tokens[m])) || !isDay(text(line, tokens[m + 1]))
            || !isTimeOrYear(text(line, tokens[m + 2])))
            continue;
        quint64 size = 0;
        if (!parseSize(text(line, tokens[m - 1]), &size))
            continue;
        // The name is everything after one separator, spaces included.
        const qsizetype nameStart = tokens[m + 2].end + 1;
        if (nameStart >= line.size())
            return false;
        QByteArray name = line.mid(nameStart);
        const int type = unixType(line[tokens[0].begin]);
        if (type == QNFTPListEntry::Link) {
            const qsizetype arrow = name.indexOf(" -> ");
            if (arrow > 0)
                name.truncate(arrow);
        }
        if (name.isEmpty())
            return false;
        entry->name = QString::fromUtf8(name);
        entry->type = type;
        entry->hasSize = true;
        entry->size = size;
        return true;
    }
    return false;
}

bool isDosDate(const QByteArray& s)
{
    // MM-DD-YY or MM-DD-YYYY
    if (s.size() != 8 && s.size() != 10)
        return false;
    return allDigits(s.left(2)) && s[2] == '-' && allDigits(s.mid(3, 2)) && s[5] == '-' && allDigits(s.mid(6));
}

bool isDosTime(const QByteArray& s)
{
    QByteArray t = s.toUpper();
    if (t.endsWith("AM") || t.endsWith("PM"))
        t.chop(2);
    const qsizetype colon = t.indexOf(':');
    return colon > 0 && colon <= 2 && allDigits(t.left(colon)) && t.size() - colon - 1 == 2
        && allDigits(t.mid(colon + 1));
}

bool parseDos(const QByteArray& line, QNFTPListEntry* entry)
{
    const QList<Token> tokens = tokenize(line, 3);
    if (tokens.size() < 3 || !isDosDate(text(line, tokens[0])) || !isDosTime(text(line, tokens[1])))
        return false;
    const QByteArray third = text(line, tokens[2]);
    qsizetype nameStart = tokens[2].end;
    while (nameStart < line.size() && (line[nameStart] == ' ' || line[nameStart] == '\t'))
        ++nameStart;
    if (nameStart >= line.size())
        return false;
    const QByteArray name = line.mid(nameStart);
    if (third.compare("<DIR>", Qt::CaseInsensitive) == 0) {
        entry->type = QNFTPListEntry::Directory;
    } else {
        quint64 size = 0;
        if (!parseSize(third, &size))
            return false;
        entry->type = QNFTPListEntry::RegularFile;
        entry->hasSize = true;
        entry->size = size;
    }
    entry->name = QString::fromUtf8(name);
    return true;
}

}  // namespace

qsizetype parseLine(const char* data, qsizetype length, bool atEnd, QNFTPListEntry* entry)
{
    *entry = QNFTPListEntry();
    if (length <= 0)
        return 0;
    const void* nl = std::memchr(data, '\n', static_cast<size_t>(length));
    qsizetype consumed;
    qsizetype lineLength;
    if (nl) {
        lineLength = static_cast<const char*>(nl) - data;
        consumed = lineLength + 1;
    } else {
        if (!atEnd)
            return 0;
        lineLength = length;
        consumed = length;
    }
    while (lineLength > 0 && (data[lineLength - 1] == '\r' || data[lineLength - 1] == '\0'))
        --lineLength;
    const QByteArray line(data, lineLength);
    QNFTPListEntry parsed;
    if (parseUnix(line, &parsed) || parseDos(line, &parsed)) {
        // The folder itself and its parent are not contents.
        if (parsed.name != QLatin1String(".") && parsed.name != QLatin1String("..")) {
            parsed.valid = true;
            *entry = parsed;
        }
    }
    return consumed;
}

}  // namespace QNFTPListParser
