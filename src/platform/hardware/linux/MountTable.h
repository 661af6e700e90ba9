// SPDX-License-Identifier: MIT
#pragma once
// The mounted filesystems of this process's mount namespace, read from
// /proc/self/mountinfo, and the disk devices they live on.
#include "hardware/linux/HardwareRoot.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace qn::hardware {

struct MountEntry {
    int mountId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    QString mountPoint;  // unescaped ("\040" -> " ")
    QString fsType;
    QString source;      // "/dev/sr0", "tmpfs", ...

    /// Stable text naming this mount for volume references.
    QString key() const;
};

/// Parses mountinfo text; malformed lines are skipped.
QList<MountEntry> parseMountInfo(const QByteArray& text);
/// Reads <proc root>/proc/self/mountinfo; empty when unreadable.
QList<MountEntry> readMountTable(const HardwareRoot& root);

/// Kernel name of the block device a mount lives on: from
/// <sys>/sys/dev/block/MAJ:MIN, else the source's name when it is a /dev
/// node; nullopt for mounts not backed by a block device.
std::optional<QString> deviceNameOfMount(const MountEntry& entry, const HardwareRoot& root);
/// The whole disk a block device belongs to ("sr0p1" -> "sr0"), found in
/// sysfs (a partition's parent folder); the name itself when sysfs does not
/// say.
QString wholeDiskOf(const QString& deviceName, const HardwareRoot& root);

}  // namespace qn::hardware
