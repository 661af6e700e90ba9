// SPDX-License-Identifier: MIT
#pragma once
// Process serial numbers: the address of a running process.
// The low word is the pid, the high word the low 32 bits of the process start
// time (field 22 of /proc/<pid>/stat, in clock ticks since boot). A PSN whose
// start time no longer matches the process with that pid names a process that
// is gone, so a reused pid is never mistaken for the old process. {0, 0} is
// "no process".
#include <QString>
#include <QtGlobal>
#include <optional>
#include <sys/types.h>

namespace qn::events {

struct ProcessSerialNumber {
    quint32 highLongOfPSN = 0;
    quint32 lowLongOfPSN = 0;

    bool isNull() const { return highLongOfPSN == 0 && lowLongOfPSN == 0; }
    pid_t pid() const { return pid_t(lowLongOfPSN); }
    friend bool operator==(const ProcessSerialNumber&, const ProcessSerialNumber&) = default;

    /// The PSN of the calling process (never null).
    static ProcessSerialNumber current();
    /// The PSN of the process that now runs with this pid; nullopt when there
    /// is none (or /proc cannot be read for it).
    static std::optional<ProcessSerialNumber> forPid(pid_t pid);

    /// True when a process with this pid runs and its start time matches.
    /// Zombies (ended, not yet reaped) count as gone. False for null.
    bool isAlive() const;
    /// Absolute path of the process's executable (/proc/<pid>/exe), or an
    /// empty string when the process is gone or the link cannot be read
    /// (another user's process).
    QString executablePath() const;

    /// "high/low" for logs and messages.
    QString toString() const;
};

}  // namespace qn::events
