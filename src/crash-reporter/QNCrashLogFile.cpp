#include "QNCrashLogFile.h"

#include "crash/CrashRecorder.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

#include <sys/stat.h>

namespace {

std::optional<qint64> modificationNs(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

std::optional<QString> readUtf8(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

}  // namespace

QString QNCrashLogFile::crashLogFilePathForApplicationName(const QString& name)
{
    return qn::crash::CrashRecorder::logPathForName(name);
}

QNCrashLogFile::QNCrashLogFile() = default;

QNCrashLogFile::QNCrashLogFile(const QString& filePath)
    : _filePath(filePath)
{
    readFromFile();
}

QNCrashLogFile QNCrashLogFile::initWithApplicationName(const QString& name)
{
    return QNCrashLogFile(crashLogFilePathForApplicationName(name));
}

QDateTime QNCrashLogFile::modificationDate() const
{
    if (!_modificationNs)
        return {};
    return QDateTime::fromMSecsSinceEpoch(*_modificationNs / 1000000, Qt::UTC);
}

void QNCrashLogFile::setModificationDate(const QDateTime& date)
{
    if (date.isValid())
        _modificationNs = date.toMSecsSinceEpoch() * 1000000;
    else
        _modificationNs.reset();
}

void QNCrashLogFile::readFromFile()
{
    const std::optional<qint64> date = modificationNs(_filePath);
    std::optional<QStringList> entries;
    if (const std::optional<QString> text = readUtf8(_filePath))
        entries = entriesFromText(*text);
    _modificationNs = date;
    _crashEntries = std::move(entries);
}

bool QNCrashLogFile::isModifiedSinceLastRead() const
{
    const std::optional<qint64> now = modificationNs(_filePath);
    if (!now)
        return false;
    return !_modificationNs || *now != *_modificationNs;
}

QStringList QNCrashLogFile::entriesFromText(QStringView text)
{
    // A recorded position is where the walk stood before skipping the blank
    // run that leads to the separator: the line break ending the previous
    // non-blank line, or 0 at the start of the text.
    QList<qsizetype> starts;
    const qsizetype n = text.size();
    // Line ends are found with Qt's vectorised search; the next CR is looked
    // up again only once the walk has passed it (most logs have none).
    qsizetype nextCR = -2;
    auto lineEnd = [&](qsizetype from) {
        qsizetype lf = text.indexOf(u'\n', from);
        if (lf < 0)
            lf = n;
        if (nextCR != -1 && nextCR < from)
            nextCR = text.indexOf(u'\r', from);
        return std::min(lf, nextCR < 0 ? n : nextCR);
    };
    qsizetype pos = 0;
    for (;;) {
        const qsizetype mark = pos;
        while (pos < n && text[pos].isSpace())
            ++pos;
        if (pos >= n)
            break;
        const qsizetype lineStart = pos;
        pos = lineEnd(pos);
        if (pos - lineStart == 10) {
            bool separator = true;
            for (qsizetype i = lineStart; i < pos; ++i) {
                if (text[i] != QLatin1Char('*')) {
                    separator = false;
                    break;
                }
            }
            if (separator)
                starts.append(mark);
        }
    }

    QStringList entries;
    entries.reserve(starts.size());
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype end = i + 1 < starts.size() ? starts.at(i + 1) : n;
        const QStringView chunk = text.sliced(starts.at(i), end - starts.at(i));
        const qsizetype date = chunk.indexOf(QLatin1String("Date/Time"));
        entries.append((date >= 0 ? chunk.sliced(date) : chunk).toString());
    }
    return entries;
}
