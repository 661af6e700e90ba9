// SPDX-License-Identifier: MIT
#pragma once
// A simulated machine: optical drives, their trays, discs and volumes, kept
// in a JSON file that every process of the suite shares.
//
// Every change takes an exclusive lock (<file>.lock), reads the file, applies
// the rules a real drive and kernel would apply, writes the file atomically and
// appends one line to the event log (<file>.log):
//     2026-12-08T21:15:03.123Z pid=4711 plug sr0 guid=51... "HL-DT-ST" "DVDRAM GH24NSD1"
//
// Rules:
// - Opening a tray (command or eject) needs a working motor, no slot loader,
//   and no mounted volume on the disc (the kernel refuses with EBUSY).
// - Unmounting refuses a busy volume (kVolumeBusyErr).
// - A disc eject unmounts every volume of the disc in order, then opens the
//   tray (the disc stays on it) or, for a slot loader, pushes the disc out.
// - A disc can be inserted or removed by hand only while the tray is open
//   (always on a slot loader) and nothing of it is mounted.
//
// Error convention: mutating calls return a status (0 on success, the codes of
// DeviceRegistry.h otherwise) and set `*error` to a one-line explanation for
// people.
#include "hardware/DeviceRegistry.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace qn::hardware {

struct SimVolume {
    QString bsdName;     // "sr0", "sr0p1"
    QString mountPoint;  // where it is (or would be) mounted
    bool mounted = false;
    bool busy = false;   // an open file keeps it from being unmounted
};

struct SimDrive {
    QString bsdName;  // unique in the machine; the drive's handle in tools
    QByteArray guid;  // identity bytes (stored as hex)
    QString vendor;
    QString product;
    QString revision;
    QString interconnect = QStringLiteral("ATAPI");
    quint32 cdFeatures = 0;
    quint32 dvdFeatures = 0;
    bool trayOpen = false;
    bool trayMotor = true;    // false: open/close commands are refused
    bool slotLoading = false; // slot loaders refuse tray commands, eject pushes the disc out
    bool discPresent = false;
    std::optional<int> reportedTrayState;  // when set, the drive reports this raw tray value
    QList<SimVolume> volumes;              // of the disc; meaningful while discPresent

    QJsonObject toJson() const;
    static std::optional<SimDrive> fromJson(const QJsonObject& o, QString* error);
    /// The property table the registry reports for this drive.
    QVariantMap properties() const;
};

/// A volume mounted from something that is not a simulated drive (the
/// machine's own disks), listed among the mounted volumes.
struct SimFixedVolume {
    QString bsdName;
    QString mountPoint;
};

struct SimMachineState {
    QList<SimDrive> drives;  // in report order
    QList<SimFixedVolume> fixedVolumes;

    SimDrive* drive(const QString& bsdName);
    const SimDrive* drive(const QString& bsdName) const;
    QByteArray toJson() const;
    static std::optional<SimMachineState> fromJson(const QByteArray& data, QString* error);
};

struct SimLogEntry {
    QDateTime time;  // UTC, millisecond precision
    qint64 pid = 0;
    QString text;    // "plug sr0 ...", "tray-open sr0 refused busy", ...
};

class SimMachine {
public:
    explicit SimMachine(QString path);
    const QString& path() const { return _path; }
    QString logPath() const { return _path + QStringLiteral(".log"); }

    /// Creates (or replaces) the machine file with no drives and logs it.
    bool create(QString* error = nullptr);
    /// Current contents (no lock: the file is always replaced atomically).
    std::optional<SimMachineState> read(QString* error = nullptr) const;

    /// Runs `change` on the state under the lock and saves the result when it
    /// returns 0; `logText` is then appended to the log (when not empty).
    /// A non-zero result of `change` is returned and saves nothing.
    qint32 modify(const std::function<qint32(SimMachineState&, QString& logText, QString& error)>& change,
                  QString* error = nullptr);

    // Operations of the tools and tests (all through modify()).
    qint32 plug(SimDrive drive, QString* error = nullptr);  // empty bsdName/guid: the next free one
    qint32 unplug(const QString& bsdName, QString* error = nullptr);
    qint32 insertDisc(const QString& bsdName, const QList<SimVolume>& volumes, QString* error = nullptr);
    qint32 removeDisc(const QString& bsdName, QString* error = nullptr);
    qint32 mount(const QString& bsdName, const QString& volume = {}, QString* error = nullptr);  // empty: all
    qint32 setBusy(const QString& volumeBSDName, bool busy, QString* error = nullptr);
    /// The user pushes the tray in or pulls it out by hand (no motor needed).
    qint32 moveTrayByHand(const QString& bsdName, bool open, QString* error = nullptr);
    /// Tray command through the drive's interface (what the registry does).
    qint32 commandTray(const QString& bsdName, bool open, QString* error = nullptr);
    /// Unmounts every volume of the drive's disc, then ejects it.
    qint32 ejectDisc(const QString& bsdName, QString* error = nullptr);

    /// Appends the lines of `text` to the log, stamped `at` (default: now).
    void appendLog(const QString& text, const QDateTime& at = {}) const;
    /// Every log entry, oldest first; malformed lines are skipped.
    QList<SimLogEntry> readLog() const;

private:
    /// modify() for one drive: "no drive named ..." when it is not plugged in.
    qint32 modifyDrive(const QString& bsdName,
                       const std::function<qint32(SimDrive*, QString& logText, QString& error)>& change,
                       QString* error);

    QString _path;
};

/// The file named by QNLAB_SIMULATED_HARDWARE, or empty.
QString simulatedMachinePath();

}  // namespace qn::hardware
