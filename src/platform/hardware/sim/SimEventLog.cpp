// SPDX-License-Identifier: MIT
#include "hardware/sim/SimEventLog.h"

#include <QFile>

#include <unistd.h>

namespace qn::hardware {

SimEventLog::SimEventLog(QString path) : _path(std::move(path)) {}

void SimEventLog::append(const QString& text, const QDateTime& at) const
{
    QFile f(_path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QDateTime time = at.isValid() ? at.toUTC() : QDateTime::currentDateTimeUtc();
    const QByteArray prefix = time.toString(Qt::ISODateWithMs).toUtf8() + " pid=" +
                              QByteArray::number(qint64(::getpid())) + ' ';
    QByteArray out;
    for (const QString& line : text.split(QLatin1Char('\n')))
        out += prefix + line.toUtf8() + '\n';
    f.write(out);  // one write: lines of concurrent writers do not interleave
}

QList<SimLogEntry> SimEventLog::read() const
{
    QList<SimLogEntry> entries;
    QFile f(_path);
    if (!f.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const qsizetype s1 = line.indexOf(QLatin1Char(' '));
        const qsizetype s2 = s1 < 0 ? -1 : line.indexOf(QLatin1Char(' '), s1 + 1);
        if (s2 < 0)
            continue;
        SimLogEntry e;
        e.time = QDateTime::fromString(line.left(s1), Qt::ISODateWithMs);
        const QString pid = line.mid(s1 + 1, s2 - s1 - 1);
        bool ok = false;
        e.pid = pid.startsWith(QLatin1String("pid=")) ? pid.mid(4).toLongLong(&ok) : 0;
        if (!e.time.isValid() || !ok)
            continue;
        e.text = line.mid(s2 + 1);
        entries.append(e);
    }
    return entries;
}

}  // namespace qn::hardware
