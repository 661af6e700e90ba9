#pragma once
// A program's crash log: where it lies, whether it changed since it was last
// read, and its entries. An entry starts at a line of exactly ten asterisks
// (leading white space allowed); its text starts at the entry's first
// "Date/Time". Shared by the crash observer and the crash reporter.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

class QNCrashLogFile {
public:
    /// ${XDG_STATE_HOME:-~/.local/state}/qnlab/CrashReporter/<name>.crash.log
    static QString crashLogFilePathForApplicationName(const QString& name);

    /// No path: nothing to read, date and entries stay nil.
    QNCrashLogFile();
    explicit QNCrashLogFile(const QString& filePath);  // reads the file at once
    static QNCrashLogFile initWithApplicationName(const QString& name);

    /// Reads modification time and entries anew. A missing or unreadable file
    /// gives no date; a file that cannot be read as UTF-8 gives no entries.
    void readFromFile();
    /// True when the file's modification time now differs from the one of the
    /// last reading (also when there was none and the file exists now).
    bool isModifiedSinceLastRead() const;

    const QString& filePath() const { return _filePath; }
    void setFilePath(const QString& path) { _filePath = path; }
    /// Invalid when the file could not be examined at the last reading.
    QDateTime modificationDate() const;
    void setModificationDate(const QDateTime& date);
    /// nullopt when the file could not be read as text; oldest entry first.
    const std::optional<QStringList>& crashEntries() const { return _crashEntries; }
    void setCrashEntries(const std::optional<QStringList>& entries) { _crashEntries = entries; }

    /// Cuts a crash log's text into its entries.
    static QStringList entriesFromText(QStringView text);

private:
    QString _filePath;
    std::optional<qint64> _modificationNs;  // nanoseconds since the epoch
    std::optional<QStringList> _crashEntries;
};
