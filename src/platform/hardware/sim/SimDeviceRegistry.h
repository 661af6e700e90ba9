// SPDX-License-Identifier: MIT
// src/platform/hardware/sim: the simulated machine (a JSON file every process shares) and its drive registry.
#pragma once
// Device registry over a simulated machine file (see SimMachine.h). Every
// process watching the same file sees drives plugged or unplugged by any
// other process as arrival and removal events, in file order.
#include "hardware/DeviceRegistry.h"
#include "hardware/sim/SimMachine.h"

#include <QFileSystemWatcher>

#include <memory>

namespace qn::hardware {

class SimDeviceRegistry : public DeviceRegistry {
    Q_OBJECT
public:
    explicit SimDeviceRegistry(QString machinePath);
    ~SimDeviceRegistry() override;

    SimMachine& machine() { return _machine; }

    QString backendName() const override { return QStringLiteral("sim"); }
    bool startWatching() override;
    void stopWatching() override;
    QList<QVariantMap> matchingDrives() override;
    EntryId findDriveByIdentity(const QByteArray& guid) override;
    std::unique_ptr<TrayInterface> openTrayInterface(const EntryId& entry, IOReturn* status = nullptr) override;
    std::optional<QString> discBSDName(const EntryId& entry) override;
    std::optional<VolumeRef> volumeAtIndex(int index) override;
    std::optional<QString> volumeDeviceName(VolumeRef ref) override;
    Status ejectVolume(VolumeRef ref) override;
    /// Appended to the machine's event log.
    void note(const QString& text) override;

private:
    struct Mounted {
        QString key;
        QString bsdName;
        QString drive;  // empty for a fixed volume
    };
    QList<Mounted> mountedVolumes() const;
    /// Re-reads the file and delivers the difference to the last state seen.
    void sync();
    void rewatch();

    SimMachine _machine;
    std::unique_ptr<QFileSystemWatcher> _watcher;
    int _watchers = 0;
    QList<SimDrive> _seen;  // drives as last delivered, in report order
};

}  // namespace qn::hardware
