// SPDX-License-Identifier: MIT
#pragma once
// The machine's event log (<file>.log): one line per event,
//     2026-12-08T21:15:03.123Z pid=4711 plug sr0 guid=51... "HL-DT-ST" "DVDRAM GH24NSD1"
// appended by every process that changes the machine.
#include <QDateTime>
#include <QList>
#include <QString>

namespace qn::hardware {

struct SimLogEntry {
    QDateTime time;  // UTC, millisecond precision
    qint64 pid = 0;
    QString text;    // "plug sr0 ...", "tray-open sr0 refused busy", ...
};

class SimEventLog {
public:
    explicit SimEventLog(QString path);
    const QString& path() const { return _path; }

    /// Appends the lines of `text`, stamped `at` (default: now) and this
    /// process's pid, in one write so that concurrent writers never interleave.
    void append(const QString& text, const QDateTime& at = {}) const;
    /// Every entry, oldest first; malformed lines are skipped.
    QList<SimLogEntry> read() const;

private:
    QString _path;
};

}  // namespace qn::hardware
