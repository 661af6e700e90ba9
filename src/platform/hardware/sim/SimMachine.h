// SPDX-License-Identifier: MIT
#pragma once
// A simulated machine: optical drives, their trays, discs and volumes, kept
// in a JSON file that every process of the suite shares.
//
// Every change goes through one locked transaction on the file
// (SimMachineFile), applies the rules a real drive and kernel would apply
// (SimDriveRules), and appends what happened to the event log (SimEventLog,
// <file>.log). The state and its JSON form are in SimMachineState.h.
//
// Error convention: mutating calls return a status (0 on success, the codes of
// DeviceRegistry.h otherwise) and set `*error` to a one-line explanation for
// people.
#include "hardware/DeviceRegistry.h"
#include "hardware/sim/SimEventLog.h"
#include "hardware/sim/SimMachineFile.h"
#include "hardware/sim/SimMachineState.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace qn::hardware {

class SimMachine {
public:
    explicit SimMachine(QString path);
    const QString& path() const { return _file.path(); }
    QString logPath() const { return _log.path(); }

    /// Creates (or replaces) the machine file with no drives and logs it.
    bool create(QString* error = nullptr);
    /// Current contents (no lock: the file is always replaced atomically).
    std::optional<SimMachineState> read(QString* error = nullptr) const { return _file.read(error); }

    /// Runs `change` on the state under the lock and saves the result when it
    /// succeeds; `logText` is then appended to the log (when not empty).
    /// A failure of `change` is returned and saves nothing.
    Status modify(const std::function<Status(SimMachineState&, QString& logText, QString& error)>& change,
                  QString* error = nullptr);

    // Operations of the tools and tests (all through modify(); rules in SimDriveRules.h).
    Status plug(SimDrive drive, QString* error = nullptr);  // empty bsdName/guid: the next free one
    Status unplug(const QString& bsdName, QString* error = nullptr);
    Status insertDisc(const QString& bsdName, const QList<SimVolume>& volumes, QString* error = nullptr);
    Status removeDisc(const QString& bsdName, QString* error = nullptr);
    Status mount(const QString& bsdName, const QString& volume = {}, QString* error = nullptr);  // empty: all
    Status setBusy(const QString& volumeBSDName, bool busy, QString* error = nullptr);
    /// The user pushes the tray in or pulls it out by hand (no motor needed).
    Status moveTrayByHand(const QString& bsdName, bool open, QString* error = nullptr);
    /// Tray command through the drive's interface (what the registry does).
    Status commandTray(const QString& bsdName, bool open, QString* error = nullptr);
    /// Unmounts every volume of the drive's disc, then ejects it.
    Status ejectDisc(const QString& bsdName, QString* error = nullptr);

    /// Appends the lines of `text` to the log, stamped `at` (default: now).
    void appendLog(const QString& text, const QDateTime& at = {}) const { _log.append(text, at); }
    /// Every log entry, oldest first; malformed lines are skipped.
    QList<SimLogEntry> readLog() const { return _log.read(); }

private:
    /// modify() for one drive: "no drive named ..." when it is not plugged in.
    Status modifyDrive(const QString& bsdName,
                       const std::function<Status(SimDrive&, QString& logText, QString& error)>& change,
                       QString* error);

    SimMachineFile _file;
    SimEventLog _log;
};

/// The file named by QNLAB_SIMULATED_HARDWARE, or empty.
QString simulatedMachinePath();

}  // namespace qn::hardware
