// SPDX-License-Identifier: MIT
#include "hardware/sim/SimMachine.h"

#include "hardware/sim/SimDriveRules.h"

namespace qn::hardware {

QString simulatedMachinePath()
{
    return qEnvironmentVariable("QNLAB_SIMULATED_HARDWARE");
}

SimMachine::SimMachine(QString path) : _file(path), _log(path + QStringLiteral(".log")) {}

bool SimMachine::create(QString* error)
{
    return _file.replace(SimMachineState(), [this] { _log.append(QStringLiteral("machine-created")); }, error);
}

Status SimMachine::modify(const std::function<Status(SimMachineState&, QString&, QString&)>& change, QString* error)
{
    QString logText;
    return _file.transact([&](SimMachineState& s, QString& err) { return change(s, logText, err); },
                          [&](Status, const QDateTime& at) {
                              if (!logText.isEmpty())
                                  _log.append(logText, at);
                          },
                          error);
}

Status SimMachine::modifyDrive(const QString& bsdName,
                               const std::function<Status(SimDrive&, QString&, QString&)>& change, QString* error)
{
    return modify(
        [&](SimMachineState& s, QString& log, QString& err) -> Status {
            SimDrive* d = s.drive(bsdName);
            if (!d) {
                err = QStringLiteral("no drive named %1").arg(bsdName);
                return IOReturn::NoDevice;
            }
            return change(*d, log, err);
        },
        error);
}

Status SimMachine::plug(SimDrive drive, QString* error)
{
    return modify([&](SimMachineState& s, QString& log, QString& err) { return SimDriveRules::plug(s, drive, log, err); },
                  error);
}

Status SimMachine::unplug(const QString& bsdName, QString* error)
{
    return modify(
        [&](SimMachineState& s, QString& log, QString& err) { return SimDriveRules::unplug(s, bsdName, log, err); },
        error);
}

Status SimMachine::insertDisc(const QString& bsdName, const QList<SimVolume>& volumes, QString* error)
{
    return modifyDrive(
        bsdName, [&](SimDrive& d, QString& log, QString& err) { return SimDriveRules::insertDisc(d, volumes, log, err); },
        error);
}

Status SimMachine::removeDisc(const QString& bsdName, QString* error)
{
    return modifyDrive(bsdName, &SimDriveRules::removeDisc, error);
}

Status SimMachine::mount(const QString& bsdName, const QString& volume, QString* error)
{
    return modifyDrive(
        bsdName, [&](SimDrive& d, QString& log, QString& err) { return SimDriveRules::mount(d, volume, log, err); },
        error);
}

Status SimMachine::setBusy(const QString& volumeBSDName, bool busy, QString* error)
{
    return modify(
        [&](SimMachineState& s, QString& log, QString& err) {
            return SimDriveRules::setBusy(s, volumeBSDName, busy, log, err);
        },
        error);
}

Status SimMachine::moveTrayByHand(const QString& bsdName, bool open, QString* error)
{
    return modifyDrive(
        bsdName, [&](SimDrive& d, QString& log, QString& err) { return SimDriveRules::moveTrayByHand(d, open, log, err); },
        error);
}

Status SimMachine::commandTray(const QString& bsdName, bool open, QString* error)
{
    return modifyDrive(
        bsdName, [&](SimDrive& d, QString& log, QString& err) { return SimDriveRules::commandTray(d, open, log, err); },
        error);
}

Status SimMachine::ejectDisc(const QString& bsdName, QString* error)
{
    // A busy volume stops the eject after the volumes before it were
    // unmounted, so the state is saved whatever the outcome.
    Status outcome;
    QString message;
    const Status saved = modifyDrive(
        bsdName,
        [&](SimDrive& d, QString& log, QString&) {
            outcome = SimDriveRules::ejectDisc(d, log, message);
            return Status();
        },
        error);
    if (!saved.ok())
        return saved;
    if (!outcome.ok() && error)
        *error = message;
    return outcome;
}

}  // namespace qn::hardware
