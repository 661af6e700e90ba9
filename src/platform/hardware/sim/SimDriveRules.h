// SPDX-License-Identifier: MIT
#pragma once
// What a real drive and kernel allow, applied to a machine's state in memory:
// - Opening a tray (command or eject) needs a working motor, no slot loader,
//   and no mounted volume on the disc (the kernel refuses with EBUSY).
// - Unmounting refuses a busy volume (VolumeStatus::Busy).
// - A disc eject unmounts every volume of the disc in order, then opens the
//   tray (the disc stays on it) or, for a slot loader, pushes the disc out.
// - A disc can be inserted or removed by hand only while the tray is open
//   (always on a slot loader) and nothing of it is mounted.
//
// Each rule returns success and changes the state, or returns a status of
// DeviceRegistry.h with `error` set and the state untouched (ejectDisc is the
// exception, see there). `log` gets the event-log text of what happened,
// refusals included where a drive would have been asked.
#include "hardware/Status.h"
#include "hardware/sim/SimMachineState.h"

namespace qn::hardware {

class SimDriveRules {
public:
    /// Empty bsdName/guid: the next free "srN" / a fresh random identity.
    static Status plug(SimMachineState& s, SimDrive drive, QString& log, QString& error);
    static Status unplug(SimMachineState& s, const QString& bsdName, QString& log, QString& error);
    static Status insertDisc(SimDrive& d, const QList<SimVolume>& volumes, QString& log, QString& error);
    static Status removeDisc(SimDrive& d, QString& log, QString& error);
    /// Mounts `volume` of the disc, or every volume when it is empty.
    static Status mount(SimDrive& d, const QString& volume, QString& log, QString& error);
    static Status setBusy(SimMachineState& s, const QString& volumeBSDName, bool busy, QString& log, QString& error);
    /// The user pushes the tray in or pulls it out (no motor needed).
    static Status moveTrayByHand(SimDrive& d, bool open, QString& log, QString& error);
    /// Tray command through the drive's interface.
    static Status commandTray(SimDrive& d, bool open, QString& log, QString& error);
    /// Unmounts the disc's volumes in order, then ejects it. A busy volume
    /// stops it; the volumes unmounted before stay unmounted, so the state
    /// changes even when the result is not 0.
    static Status ejectDisc(SimDrive& d, QString& log, QString& error);

    static bool hasMountedVolume(const SimDrive& d);
};

}  // namespace qn::hardware
