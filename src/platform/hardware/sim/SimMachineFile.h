// SPDX-License-Identifier: MIT
#pragma once
// The machine file on disk. Readers take no lock: the file is only ever
// replaced whole (temp file + rename). Writers hold an exclusive lock on
// <file>.lock for the whole read-change-write, so concurrent processes never
// lose each other's changes.
#include "hardware/Status.h"
#include "hardware/sim/SimMachineState.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace qn::hardware {

class SimMachineFile {
public:
    explicit SimMachineFile(QString path);
    const QString& path() const { return _path; }

    /// The current contents, or nothing with `*error` set.
    std::optional<SimMachineState> read(QString* error = nullptr) const;

    /// Under the lock: replaces the file with `state`, then calls `settled`
    /// (still under the lock). False with `*error` set when it could not.
    bool replace(const SimMachineState& state, const std::function<void()>& settled, QString* error = nullptr);

    /// Under the lock: reads the file and runs `change` on it. When `change`
    /// succeeds the result is written back; a failure writes nothing
    /// and is returned with `*error` set to the message `change` gave.
    /// `settled` runs under the lock once `change` has run and its outcome
    /// stands: with the moment just before the file was replaced, or with the
    /// current time for a refusal. It does not run when the file could not be
    /// read or written (IOReturn::Error).
    using Change = std::function<Status(SimMachineState& state, QString& error)>;
    Status transact(const Change& change, const std::function<void(Status status, const QDateTime& at)>& settled,
                    QString* error = nullptr);

private:
    QString lockPath() const { return _path + QStringLiteral(".lock"); }
    bool write(const SimMachineState& state, QString* error) const;

    QString _path;
};

}  // namespace qn::hardware
