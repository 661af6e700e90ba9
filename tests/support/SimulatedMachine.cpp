// SPDX-License-Identifier: MIT
#include "SimulatedMachine.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace qn::test {

namespace {

constexpr char kMachineVariable[] = "QNLAB_SIMULATED_HARDWARE";

QString machineFolder(std::unique_ptr<QTemporaryDir>& dir, const QString& folder)
{
    if (!folder.isEmpty())
        return folder;
    dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/qnsim-XXXXXX"));
    EXPECT_TRUE(dir->isValid()) << dir->errorString().toStdString();
    return dir->path();
}

void expectDone(hardware::Status status, const QString& error, const char* what)
{
    EXPECT_EQ(status.code(), 0) << what << ": " << error.toStdString();
}

}  // namespace

SimulatedMachine::SimulatedMachine(const QString& folder)
    : _folder(machineFolder(_dir, folder))
    , machine(_folder + QStringLiteral("/machine.json"))
    , registry(machine.path())
{
    if (qEnvironmentVariableIsSet(kMachineVariable))
        _previousPath = qgetenv(kMachineVariable);
    qputenv(kMachineVariable, QFile::encodeName(machine.path()));
    QString error;
    EXPECT_TRUE(machine.create(&error)) << error.toStdString();
}

SimulatedMachine::~SimulatedMachine()
{
    if (_previousPath)
        qputenv(kMachineVariable, *_previousPath);
    else
        qunsetenv(kMachineVariable);
}

hardware::SimDrive SimulatedMachine::plug(const QString& name, const QString& product,
                                          const std::function<void(hardware::SimDrive&)>& tweak)
{
    hardware::SimDrive d;
    d.bsdName = name;
    d.guid = "GUID-" + name.toUtf8();
    d.vendor = driveVendor;
    d.product = product;
    d.revision = driveRevision;
    if (tweak)
        tweak(d);
    return plugDrive(d);
}

hardware::SimDrive SimulatedMachine::plugDrive(const hardware::SimDrive& drive)
{
    QString error;
    expectDone(machine.plug(drive, &error), error, "plug");
    const std::optional<hardware::SimMachineState> state = machine.read();
    return state && !state->drives.isEmpty() ? state->drives.last() : drive;
}

QString SimulatedMachine::plugDrive(const QString& vendor, const QString& product, bool trayOpen, bool disc,
                                    bool mounted)
{
    hardware::SimDrive d;
    d.vendor = vendor;
    d.product = product;
    d.revision = QStringLiteral("1.00");
    const QString name = plugDrive(d).bsdName;
    if (disc)
        insertDisc(name, mounted);
    if (trayOpen)
        moveTray(name, true);
    return name;
}

void SimulatedMachine::unplug(const QString& name)
{
    QString error;
    expectDone(machine.unplug(name, &error), error, "unplug");
}

void SimulatedMachine::insertDisc(const QString& name, bool mounted)
{
    QString error;
    expectDone(machine.moveTrayByHand(name, true, &error), error, "pull the tray out");
    expectDone(machine.insertDisc(name, {hardware::SimVolume{name, {}, false, false}}, &error), error, "insert a disc");
    expectDone(machine.moveTrayByHand(name, false, &error), error, "push the tray in");
    if (mounted)
        expectDone(machine.mount(name, {}, &error), error, "mount");
}

void SimulatedMachine::moveTray(const QString& name, bool open)
{
    QString error;
    expectDone(machine.moveTrayByHand(name, open, &error), error, "move the tray");
}

void SimulatedMachine::withMountedDisc(hardware::SimDrive& d)
{
    d.discPresent = true;
    d.volumes = {{d.bsdName, QStringLiteral("/media/sim/") + d.bsdName, true, false}};
}

std::optional<hardware::SimDrive> SimulatedMachine::drive(const QString& name) const
{
    const std::optional<hardware::SimMachineState> state = machine.read();
    if (!state || !state->drive(name))
        return std::nullopt;
    return *state->drive(name);
}

QList<hardware::SimLogEntry> SimulatedMachine::entries(const QString& prefix) const
{
    QList<hardware::SimLogEntry> found;
    for (const hardware::SimLogEntry& e : machine.readLog())
        if (e.text.startsWith(prefix))
            found << e;
    return found;
}

QStringList SimulatedMachine::log(const QString& prefix) const
{
    QStringList texts;
    for (const hardware::SimLogEntry& e : entries(prefix))
        texts << e.text;
    return texts;
}

std::optional<hardware::SimLogEntry> SimulatedMachine::waitForLog(const QString& prefix, int timeoutMs) const
{
    std::optional<hardware::SimLogEntry> found;
    waitUntil(
        [&] {
            const QList<hardware::SimLogEntry> e = entries(prefix);
            if (!e.isEmpty())
                found = e.first();
            return found.has_value();
        },
        timeoutMs);
    return found;
}

}  // namespace qn::test
