// SPDX-License-Identifier: MIT
#include "QNPackageCheck.h"

#include "alerts/AlertPresenter.h"
#include "layout/Bundle.h"
#include "strings/LocalizedString.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

namespace QNPackageCheck {

QString owningPackage(const QString& path, const QString& infoDir)
{
    if (path.isEmpty())
        return {};
    const QString package = qn::Bundle::packageName();
    const QByteArray wanted = QFile::encodeName(path);
    // dpkg names the list <package>.list, or <package>:<arch>.list for
    // packages that can be installed for several architectures at once.
    const QDir dir(infoDir);
    for (const QString& list : dir.entryList({package + QStringLiteral(".list"), package + QStringLiteral(":*.list")},
                                             QDir::Files)) {
        QFile f(dir.filePath(list));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        while (!f.atEnd()) {
            QByteArray line = f.readLine();
            if (line.endsWith('\n'))
                line.chop(1);
            if (line == wanted)
                return package;
        }
    }
    return {};
}

bool deferToPackageManager()
{
    const QString package = owningPackage(qn::Bundle::mainExecutablePath());
    if (package.isEmpty())
        return false;
    qn::AlertPresenter::Alert alert;
    alert.title = QStringLiteral("QNUninstaller");
    alert.message = qn::localizedString("InstalledByPackageManager");
    alert.informativeText = qn::localizedString("RemoveWithPackageManager").arg(QStringLiteral("sudo apt remove ") + package);
    alert.style = qn::AlertPresenter::Style::Informational;
    // Said on standard error too, for a terminal; the alert only where
    // somebody can see it.
    std::fprintf(stderr, "%s\n%s\n", qPrintable(alert.message), qPrintable(alert.informativeText));
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        qn::AlertPresenter::run(alert);
    return true;
}

}  // namespace QNPackageCheck
