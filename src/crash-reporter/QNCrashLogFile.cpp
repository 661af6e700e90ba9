// SPDX-License-Identifier: MIT
#include "QNCrashLogFile.h"

#include "crash/CrashRecorder.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <string_view>

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The whole file in anonymous memory that it owns. Large logs are read into
// memory the kernel may back with huge pages: page faults, not copying, are
// what a read of tens of MB costs.
std::shared_ptr<const char> readFile(const QString& path, qsizetype* size)
{
    if (path.isEmpty())
        return nullptr;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // The file may grow while it is read (the recorder appends); the buffer
    // then grows too. One spare byte shows whether the end was reached.
    size_t capacity = size_t(std::max<off_t>(st.st_size, 0)) + 1;
    auto map = [](size_t bytes) -> char* {
        void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return nullptr;
        if (bytes >= (size_t(2) << 20))
            ::madvise(p, bytes, MADV_HUGEPAGE);
        return static_cast<char*>(p);
    };
    char* data = map(capacity);
    size_t used = 0;
    bool ok = data != nullptr;
    while (ok) {
        if (used == capacity) {
            void* grown = ::mremap(data, capacity, capacity * 2, MREMAP_MAYMOVE);
            if (grown == MAP_FAILED) {
                ok = false;
                break;
            }
            data = static_cast<char*>(grown);
            capacity *= 2;
        }
        const ssize_t got = ::read(fd, data + used, capacity - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ok = false;
        if (got <= 0)
            break;
        used += size_t(got);
    }
    ::close(fd);
    if (!ok) {
        if (data)
            ::munmap(data, capacity);
        return nullptr;
    }
    *size = qsizetype(used);
    return std::shared_ptr<const char>(data, [capacity](const char* p) { ::munmap(const_cast<char*>(p), capacity); });
}

bool isAsciiSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Length of the white-space character at p (0 if there is none). Malformed
// UTF-8 is no white space: decoding turns it into U+FFFD, so a bad byte is
// never skipped as a space, and never swallows the byte after it.
qsizetype spaceLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned char c = *p;
    if (c < 0x80)
        return isAsciiSpace(c) ? 1 : 0;
    // Every white-space character above ASCII is U+0085 or U+00A0 (two
    // bytes) or lies in U+1680..U+3000 (three bytes).
    if (c >= 0xC2 && c <= 0xDF) {
        if (end - p < 2 || (p[1] & 0xC0) != 0x80)
            return 0;
        return QChar::isSpace(char32_t(((c & 0x1F) << 6) | (p[1] & 0x3F))) ? 2 : 0;
    }
    if (c >= 0xE1 && c <= 0xE3) {
        if (end - p < 3 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80)
            return 0;
        return QChar::isSpace(char32_t(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F))) ? 3 : 0;
    }
    return 0;
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

void QNCrashLogFile::readFromFile()
{
    const std::optional<qint64> date = modificationNs(_filePath);
    std::optional<QNCrashEntryList> entries;
    qsizetype size = 0;
    if (std::shared_ptr<const char> bytes = readFile(_filePath, &size)) {
        entries = cut(QByteArrayView(bytes.get(), size));
        if (entries)
            entries->_bytes = std::move(bytes);
    }
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

std::optional<QNCrashEntryList> QNCrashLogFile::entriesFromUtf8(const QByteArray& bytes)
{
    std::optional<QNCrashEntryList> entries = cut(bytes);
    if (entries)
        entries->_bytes = std::shared_ptr<const char>(bytes.constData(), [bytes](const char*) {});
    return entries;
}

std::optional<QNCrashEntryList> QNCrashLogFile::cut(QByteArrayView bytes)
{
    // The walk runs on the bytes: every character it looks at (line breaks,
    // white space, asterisks, "Date/Time") is ASCII or decoded on the spot.
    // Positions are byte offsets into the same bytes the entries refer to.
    // Malformed UTF-8 is not checked here: every cut is at an ASCII byte, so
    // a bad sequence stays inside one entry, and turning that entry into a
    // string replaces it with U+FFFD. The other entries read as usual.
    const auto* const text = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    // Decoding as UTF-8 drops a leading byte order mark; so does the cut.
    qsizetype first = 0;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        first = 3;

    // A recorded position is where the walk stood before skipping the blank
    // run that leads to the separator: the line break ending the previous
    // non-blank line, or 0 at the start of the text.
    QList<qsizetype> starts;
    // memchr finds the line ends; the next CR is looked up again only once
    // the walk has passed it (most logs have none).
    qsizetype nextCR = -2;
    auto lineEnd = [&](qsizetype from) {
        const void* lf = std::memchr(text + from, '\n', size_t(n - from));
        const qsizetype lfPos = lf ? static_cast<const unsigned char*>(lf) - text : n;
        if (nextCR != -1 && nextCR < from) {
            const void* cr = std::memchr(text + from, '\r', size_t(n - from));
            nextCR = cr ? static_cast<const unsigned char*>(cr) - text : -1;
        }
        return std::min(lfPos, nextCR < 0 ? n : nextCR);
    };
    qsizetype pos = first;
    for (;;) {
        const qsizetype mark = pos;
        while (pos < n) {
            const qsizetype len = spaceLength(text + pos, text + n);
            if (len == 0)
                break;
            pos += len;
        }
        if (pos >= n)
            break;
        const qsizetype lineStart = pos;
        pos = lineEnd(pos);
        if (pos - lineStart == 10 && std::memcmp(text + lineStart, "**********", 10) == 0)
            starts.append(mark);
    }

    static constexpr std::string_view dateWord = "Date/Time";
    QNCrashEntryList entries;
    entries._ranges.reserve(starts.size());
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype end = i + 1 < starts.size() ? starts.at(i + 1) : n;
        const std::string_view chunk(bytes.data() + starts.at(i), size_t(end - starts.at(i)));
        const size_t date = chunk.find(dateWord);
        const qsizetype skip = date == std::string_view::npos ? 0 : qsizetype(date);
        entries._ranges.append({starts.at(i) + skip, end - starts.at(i) - skip});
    }
    return entries;
}

QNCrashEntryList::QNCrashEntryList(const QStringList& entries)
{
    QByteArray text;
    for (const QString& entry : entries) {
        const QByteArray utf8 = entry.toUtf8();
        _ranges.append({text.size(), utf8.size()});
        text += utf8;
    }
    // The deleter holds the array, so the bytes live as long as the list.
    _bytes = std::shared_ptr<const char>(text.constData(), [text](const char*) {});
}

QByteArrayView QNCrashEntryList::bytesAt(qsizetype i) const
{
    Q_ASSERT(i >= 0 && i < _ranges.size());
    const auto& [offset, length] = _ranges.at(i);
    return QByteArrayView(_bytes.get() + offset, length);
}

QString QNCrashEntryList::at(qsizetype i) const
{
    return QString::fromUtf8(bytesAt(i));
}

QString QNCrashEntryList::value(qsizetype i) const
{
    return i >= 0 && i < size() ? at(i) : QString();
}

QStringList QNCrashEntryList::toStringList() const
{
    QStringList list;
    list.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        list.append(at(i));
    return list;
}

bool operator==(const QNCrashEntryList& a, const QNCrashEntryList& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.bytesAt(i) != b.bytesAt(i))
            return false;
    }
    return true;
}
