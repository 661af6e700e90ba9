// SPDX-License-Identifier: MIT
#pragma once
// A program's crash log: where it lies, whether it changed since it was last
// read, and its entries. An entry starts at a line of exactly ten asterisks
// (leading white space allowed); its text starts at the entry's first
// "Date/Time". Shared by the crash observer and the crash reporter.
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

/// The entries of one reading, oldest first. They stay UTF-8 inside the bytes
/// that were read and become strings one at a time when asked for: a log can
/// hold tens of MB while a caller mostly wants the newest entry.
class QNCrashEntryList {
public:
    QNCrashEntryList() = default;
    QNCrashEntryList(const QStringList& entries);  // NOLINT: converts like a list

    qsizetype size() const { return _ranges.size(); }
    bool isEmpty() const { return _ranges.isEmpty(); }
    QString at(qsizetype i) const;
    /// An empty string when i is out of range.
    QString value(qsizetype i) const;
    QString first() const { return at(0); }
    QString last() const { return at(size() - 1); }
    QStringList toStringList() const;

    friend bool operator==(const QNCrashEntryList& a, const QNCrashEntryList& b);

private:
    friend class QNCrashLogFile;
    QByteArrayView bytesAt(qsizetype i) const;

    std::shared_ptr<const char> _bytes;  // the text the ranges point into
    QList<std::pair<qsizetype, qsizetype>> _ranges;  // offset and length of each entry
};

class QNCrashLogFile {
public:
    /// ${XDG_STATE_HOME:-~/.local/state}/qnlab/CrashReporter/<name>.crash.log
    static QString crashLogFilePathForApplicationName(const QString& name);

    /// No path: nothing to read, date and entries stay nil.
    QNCrashLogFile();
    explicit QNCrashLogFile(const QString& filePath);  // reads the file at once
    static QNCrashLogFile initWithApplicationName(const QString& name);

    /// Reads modification time and entries anew. A missing or unreadable file
    /// gives no date and no entries. Malformed UTF-8 is replaced by U+FFFD
    /// in the entry that holds it; the other entries are unaffected.
    void readFromFile();
    /// True when the file's modification time now differs from the one of the
    /// last reading (also when there was none and the file exists now).
    bool isModifiedSinceLastRead() const;

    const QString& filePath() const { return _filePath; }
    /// Invalid when the file could not be examined at the last reading.
    QDateTime modificationDate() const;
    /// Sets the modification time of the last reading in nanoseconds since
    /// the epoch (nullopt: none), as isModifiedSinceLastRead compares it.
    void setModificationTimeNs(std::optional<qint64> ns) { _modificationNs = ns; }
    /// nullopt when the file could not be read; oldest entry first.
    const std::optional<QNCrashEntryList>& crashEntries() const { return _crashEntries; }
    void setCrashEntries(const std::optional<QNCrashEntryList>& entries) { _crashEntries = entries; }

    /// Cuts a crash log's bytes into its entries (a leading byte order mark is
    /// skipped, as decoding does). Always a list; malformed UTF-8 becomes
    /// U+FFFD when an entry is turned into a string.
    static std::optional<QNCrashEntryList> entriesFromUtf8(const QByteArray& bytes);

private:
    // The entries' places in the bytes; the caller attaches the bytes.
    static std::optional<QNCrashEntryList> cut(QByteArrayView bytes);

    QString _filePath;
    std::optional<qint64> _modificationNs;  // nanoseconds since the epoch
    std::optional<QNCrashEntryList> _crashEntries;
};
