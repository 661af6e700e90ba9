// SPDX-License-Identifier: MIT
#pragma once
// Where the Linux backend finds /sys, /proc and /dev. Each defaults to "/";
// tests point them at recorded trees.
#include <QString>

namespace qn::hardware {

struct HardwareRoot {
    QString sys = QStringLiteral("/");
    QString proc = QStringLiteral("/");
    QString dev = QStringLiteral("/");

    HardwareRoot() = default;
    /// One prefix for all three.
    explicit HardwareRoot(const QString& all) : sys(all), proc(all), dev(all) {}

    /// `absolute` ("/sys/...") below `root`; unchanged when root is "/".
    static QString join(const QString& root, const QString& absolute)
    {
        if (root.isEmpty() || root == QLatin1String("/"))
            return absolute;
        QString r = root;
        while (r.endsWith(QLatin1Char('/')))
            r.chop(1);
        return absolute.startsWith(QLatin1Char('/')) ? r + absolute : r + QLatin1Char('/') + absolute;
    }
    QString sysPath(const QString& absolute) const { return join(sys, absolute); }
    QString procPath(const QString& absolute) const { return join(proc, absolute); }
    QString devPath(const QString& absolute) const { return join(dev, absolute); }
};

}  // namespace qn::hardware
