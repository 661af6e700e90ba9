// SPDX-License-Identifier: MIT
#include "layout/Bundle.h"

#include "layout/BundleLayout.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

namespace qn {

QString Bundle::mainExecutablePath()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString Bundle::pathOfBinaryContaining(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname)
        return {};
    QString path = QFile::decodeName(info.dli_fname);
    // The main program reports its name as given on the command line.
    if (!QDir::isAbsolutePath(path) || path.isEmpty())
        return mainExecutablePath();
    return QFileInfo(path).canonicalFilePath();
}

QString Bundle::relativeDirectory(Location location)
{
    switch (location) {
    case Location::Programs:
        return QString::fromUtf8(layout::kProgramsDir);
    case Location::PrivateLibraries:
        return QString::fromUtf8(layout::kPrivateLibrariesDir);
    case Location::Helpers:
        return QString::fromUtf8(layout::kHelpersDir);
    case Location::Resources:
        return QString::fromUtf8(layout::kResourcesDir);
    case Location::QmlModule:
        return QString::fromUtf8(layout::kQmlModulesDir) + QLatin1Char('/') + QLatin1String(layout::kQmlModuleName);
    case Location::StagedQmlModule:
        return QString::fromUtf8(layout::kStagedQmlModulesDir) + QLatin1Char('/')
            + QLatin1String(layout::kQmlModuleName);
    }
    return {};
}

QString Bundle::prefixForBinary(const QString& binaryPath)
{
    // Pure path arithmetic: the layout need not exist (yet) on this machine.
    // The deepest folder is tried first, so lib/qml/QNTraylift never counts
    // as a "lib" folder of its own.
    const QString folder = QFileInfo(QDir::cleanPath(QFileInfo(binaryPath).absoluteFilePath())).path();
    QStringList candidates;
    for (Location l : {Location::Programs, Location::PrivateLibraries, Location::Helpers, Location::QmlModule,
                       Location::StagedQmlModule})
        candidates.append(QDir::cleanPath(relativeDirectory(l)));
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const QString& a, const QString& b) { return a.count(QLatin1Char('/')) > b.count(QLatin1Char('/')); });
    for (const QString& rel : candidates) {
        if (folder.endsWith(QLatin1Char('/') + rel)) {
            const QString prefix = folder.left(folder.size() - rel.size() - 1);
            return prefix.isEmpty() ? QStringLiteral("/") : prefix;
        }
    }
    return {};
}

QString Bundle::installPrefix()
{
    static const QString prefix = [] {
        QString p = prefixForBinary(pathOfBinaryContaining(reinterpret_cast<const void*>(&Bundle::installPrefix)));
        if (p.isEmpty())
            p = prefixForBinary(mainExecutablePath());
        return p;
    }();
    return prefix;
}

namespace {

QString under(const QString& prefix, Bundle::Location location)
{
    const QString rel = Bundle::relativeDirectory(location);
    return prefix.endsWith(QLatin1Char('/')) ? prefix + rel : prefix + QLatin1Char('/') + rel;
}

}  // namespace

QString Bundle::resourceDirectory()
{
    return under(installPrefix(), Location::Resources);
}

QString Bundle::programPath(const QString& name, const QString& prefix)
{
    return under(prefix, Location::Programs) + QLatin1Char('/') + name;
}

QString Bundle::helperPath(const QString& name, const QString& prefix)
{
    return under(prefix, Location::Helpers) + QLatin1Char('/') + name;
}

QString Bundle::pathForResource(const QString& name, const QString& type)
{
    QString file = resourceDirectory() + QLatin1Char('/') + name;
    if (!type.isEmpty())
        file += QLatin1Char('.') + type;
    return QFileInfo::exists(file) ? file : QString();
}

QString Bundle::packageName()
{
    return QString::fromUtf8(layout::kPackageName);
}

}  // namespace qn
