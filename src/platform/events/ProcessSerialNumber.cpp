// SPDX-License-Identifier: MIT
#include "events/ProcessSerialNumber.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace qn::events {

namespace {

// /proc/<pid>/stat: "pid (comm) state ppid ...". comm may hold spaces and
// parentheses, so fields are counted from the last ')'.
bool readStat(pid_t pid, char* state, quint64* startTime)
{
    if (pid <= 0)
        return false;
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = f.read(4096);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = line.mid(close + 1).simplified().split(' ');
    // fields[0] is field 3 (state); field 22 (starttime) is fields[19].
    if (fields.size() < 20)
        return false;
    bool ok = false;
    const quint64 start = fields[19].toULongLong(&ok);
    if (!ok || fields[0].isEmpty())
        return false;
    if (state)
        *state = fields[0].at(0);
    if (startTime)
        *startTime = start;
    return true;
}

// Start time word of a pid (field 22 of /proc/<pid>/stat, low 32 bits);
// nullopt when the process does not exist or the file cannot be parsed.
std::optional<quint32> processStartWord(pid_t pid)
{
    quint64 start = 0;
    if (!readStat(pid, nullptr, &start))
        return std::nullopt;
    return quint32(start & 0xffffffffu);
}

}  // namespace

ProcessSerialNumber ProcessSerialNumber::current()
{
    static const ProcessSerialNumber self = [] {
        ProcessSerialNumber psn;
        psn.lowLongOfPSN = quint32(::getpid());
        psn.highLongOfPSN = processStartWord(::getpid()).value_or(0);
        return psn;
    }();
    // A forked child must not answer with its parent's address.
    if (self.pid() != ::getpid())
        return forPid(::getpid()).value_or(ProcessSerialNumber{0, quint32(::getpid())});
    return self;
}

std::optional<ProcessSerialNumber> ProcessSerialNumber::forPid(pid_t pid)
{
    const auto start = processStartWord(pid);
    if (!start)
        return std::nullopt;
    return ProcessSerialNumber{*start, quint32(pid)};
}

bool ProcessSerialNumber::isAlive() const
{
    if (isNull() || pid() <= 0)
        return false;
    char state = 0;
    quint64 start = 0;
    if (!readStat(pid(), &state, &start))
        return false;
    if (quint32(start & 0xffffffffu) != highLongOfPSN)
        return false;
    return state != 'Z' && state != 'X' && state != 'x';
}

QString ProcessSerialNumber::executablePath() const
{
    if (!isAlive())
        return {};
    const QString target = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid())).symLinkTarget();
    // Re-check: the pid may have been reused while the link was read.
    if (target.isEmpty() || !isAlive())
        return {};
    return target;
}

QString ProcessSerialNumber::toString() const
{
    return QStringLiteral("%1/%2").arg(highLongOfPSN).arg(lowLongOfPSN);
}

}  // namespace qn::events
