// SPDX-License-Identifier: MIT
#pragma once
// An installation made by the package manager is removed by the package
// manager: dpkg owns its files and keeps a record of them, so the uninstaller
// leaves them alone and says how to remove the suite instead.
#include <QString>

namespace QNPackageCheck {

/// The Debian package whose file list in dpkg's database (infoDir, normally
/// /var/lib/dpkg/info) names this path exactly; empty when none of ours does.
QString owningPackage(const QString& path, const QString& infoDir = QStringLiteral("/var/lib/dpkg/info"));

/// When the running uninstaller belongs to an installed package: tells the
/// user to remove the suite with apt (on standard error, and in an alert
/// when there is a display) and returns true. Returns false otherwise.
bool deferToPackageManager();

}  // namespace QNPackageCheck
