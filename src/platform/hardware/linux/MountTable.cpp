// SPDX-License-Identifier: MIT
#include "hardware/linux/MountTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace qn::hardware {

namespace {

// mountinfo escapes space, tab, newline and backslash as three octal digits.
QString unescapeOctal(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char c : digits)
                ok = ok && c >= '0' && c <= '7';
            if (ok) {
                out.append(char(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromUtf8(out);
}

}  // namespace

QString MountEntry::key() const
{
    return QStringLiteral("%1|%2:%3|%4").arg(mountId).arg(major).arg(minor).arg(mountPoint);
}

QList<MountEntry> parseMountInfo(const QByteArray& text)
{
    QList<MountEntry> entries;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        // id parent maj:min root mountpoint options [optional...] - fstype source superoptions
        const qsizetype dash = f.indexOf(QByteArray("-"));
        if (f.size() < 7 || dash < 6 || dash + 2 >= f.size())
            continue;
        MountEntry e;
        bool ok = false;
        e.mountId = f[0].toInt(&ok);
        if (!ok)
            continue;
        const QList<QByteArray> dev = f[2].split(':');
        if (dev.size() != 2)
            continue;
        bool okMajor = false, okMinor = false;
        e.major = dev[0].toUInt(&okMajor);
        e.minor = dev[1].toUInt(&okMinor);
        if (!okMajor || !okMinor)
            continue;
        e.mountPoint = unescapeOctal(f[4]);
        e.fsType = unescapeOctal(f[dash + 1]);
        e.source = unescapeOctal(f[dash + 2]);
        entries.append(e);
    }
    return entries;
}

QList<MountEntry> readMountTable(const HardwareRoot& root)
{
    QFile f(root.procPath(QStringLiteral("/proc/self/mountinfo")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // /proc files report size 0: read until the end.
    return parseMountInfo(f.readAll());
}

std::optional<QString> deviceNameOfMount(const MountEntry& entry, const HardwareRoot& root)
{
    if (entry.major != 0) {
        const QString link =
            root.sysPath(QStringLiteral("/sys/dev/block/%1:%2").arg(entry.major).arg(entry.minor));
        const QFileInfo info(link);
        if (info.isSymLink() || info.isDir()) {
            const QString target = info.symLinkTarget();
            const QString name = QFileInfo(target.isEmpty() ? info.canonicalFilePath() : target).fileName();
            if (!name.isEmpty())
                return name;
        }
    }
    if (entry.source.startsWith(QLatin1String("/dev/")) && entry.source.size() > 5) {
        const QString name = entry.source.mid(5);
        if (!name.contains(QLatin1Char('/')))
            return name;
        // /dev/disk/by-label/X and the like: the node they point at.
        const QFileInfo node(root.devPath(entry.source));
        if (node.isSymLink())
            return QFileInfo(node.symLinkTarget()).fileName();
    }
    return std::nullopt;
}

QString wholeDiskOf(const QString& deviceName, const HardwareRoot& root)
{
    const QFileInfo cls(root.sysPath(QStringLiteral("/sys/class/block/") + deviceName));
    const QString target = cls.symLinkTarget();
    if (!target.isEmpty() && QFileInfo::exists(target + QStringLiteral("/partition")))
        return QFileInfo(QFileInfo(target).path()).fileName();
    return deviceName;
}

}  // namespace qn::hardware
