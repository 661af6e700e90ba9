// SPDX-License-Identifier: MIT
#pragma once
// The simulated machine of a test: a machine file in the test's own folder,
// exported through QNLAB_SIMULATED_HARDWARE to in-process code and to every
// process the test starts, with short ways to plug drives, handle discs and
// trays, and read or wait for the machine's event log.
#include "hardware/sim/SimDeviceRegistry.h"
#include "hardware/sim/SimMachine.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

namespace qn::test {

class SimulatedMachine {
public:
    /// Creates (or empties) <folder>/machine.json, in a fresh temporary
    /// folder when `folder` is empty. The previous QNLAB_SIMULATED_HARDWARE
    /// comes back when the fixture goes.
    explicit SimulatedMachine(const QString& folder = {});
    ~SimulatedMachine();
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    QString folder() const { return _folder; }
    QString path() const { return machine.path(); }

    // --- Drives (a failed change is a test failure) ---------------------------
    /// Plugs a drive named `name` with identity "GUID-<name>", the vendor and
    /// revision below and `product`; `tweak` adjusts it before it is plugged.
    hardware::SimDrive plug(const QString& name, const QString& product = QStringLiteral("DVDRAM GH24NSD1"),
                            const std::function<void(hardware::SimDrive&)>& tweak = {});
    /// Plugs `drive` as it is; returns it as plugged.
    hardware::SimDrive plugDrive(const hardware::SimDrive& drive);
    /// Plugs a drive with the next free name and a fresh identity, with a tray
    /// (open when `trayOpen`) and, when `disc`, a disc with one volume named
    /// like the drive (mounted when `mounted`). Returns its name.
    QString plugDrive(const QString& vendor, const QString& product, bool trayOpen, bool disc = false,
                      bool mounted = false);
    void unplug(const QString& name);
    /// Puts a disc with one volume named like the drive in a closed drive
    /// (pulling the tray out and pushing it back in), mounted when `mounted`.
    void insertDisc(const QString& name, bool mounted = false);
    /// Moves the tray by hand.
    void moveTray(const QString& name, bool open);
    /// A tweak for plug(): the drive holds a disc with one mounted volume.
    static void withMountedDisc(hardware::SimDrive& d);

    /// The drive's state now.
    std::optional<hardware::SimDrive> drive(const QString& name) const;

    // --- Event log ------------------------------------------------------------
    /// Entries whose text starts with `prefix`, oldest first.
    QList<hardware::SimLogEntry> entries(const QString& prefix = {}) const;
    /// Their texts.
    QStringList log(const QString& prefix = {}) const;
    /// Waits (processing events) until an entry starting with `prefix` exists;
    /// nothing when none came within the bound.
    std::optional<hardware::SimLogEntry> waitForLog(const QString& prefix, int timeoutMs = 15000) const;

    /// Vendor and revision of the drives plug() makes.
    QString driveVendor = QStringLiteral("HL-DT-ST");
    QString driveRevision = QStringLiteral("LG00");

private:
    std::unique_ptr<QTemporaryDir> _dir;  // only when no folder was given
    QString _folder;
    std::optional<QByteArray> _previousPath;

public:
    hardware::SimMachine machine;
    /// A registry over this machine, for in-process code that takes one.
    hardware::SimDeviceRegistry registry;
};

}  // namespace qn::test
