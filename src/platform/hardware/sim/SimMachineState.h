// SPDX-License-Identifier: MIT
#pragma once
// What a simulated machine holds (drives, their trays, discs and volumes) and
// its JSON form. Reading validates: a file that does not describe a machine is
// refused with a one-line reason, never half-read.
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariantMap>

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

}  // namespace qn::hardware
