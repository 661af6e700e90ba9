#include "layout/Bundle.h"

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

QString Bundle::prefixForBinary(const QString& binaryPath)
{
    // Pure path arithmetic: the layout need not exist (yet) on this machine.
    QStringList parts = QDir::cleanPath(QFileInfo(binaryPath).absoluteFilePath()).split(QLatin1Char('/'));
    parts.removeLast();  // the file name
    auto tail = [&](std::initializer_list<const char*> names) {
        if (parts.size() < qsizetype(names.size()) + 1)
            return false;
        qsizetype i = parts.size() - qsizetype(names.size());
        for (const char* n : names) {
            if (parts.at(i++) != QLatin1String(n))
                return false;
        }
        return true;
    };
    qsizetype drop = 0;
    if (tail({"bin"}) || tail({"lib"}))
        drop = 1;
    else if (tail({"libexec", "qnlab"}))
        drop = 2;
    else if (parts.size() >= 4 && parts.at(parts.size() - 3) == QLatin1String("lib")
             && parts.at(parts.size() - 2) == QLatin1String("qml"))
        drop = 3;
    else
        return {};
    parts.resize(parts.size() - drop);
    const QString prefix = parts.join(QLatin1Char('/'));
    return prefix.isEmpty() ? QStringLiteral("/") : prefix;
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

QString Bundle::binDirectory()
{
    return installPrefix() + QStringLiteral("/bin");
}

QString Bundle::libexecDirectory()
{
    return installPrefix() + QStringLiteral("/libexec/qnlab");
}

QString Bundle::resourceDirectory()
{
    return installPrefix() + QStringLiteral("/share/qnlab");
}

QString Bundle::programPath(const QString& name)
{
    return binDirectory() + QLatin1Char('/') + name;
}

QString Bundle::helperPath(const QString& name)
{
    return libexecDirectory() + QLatin1Char('/') + name;
}

QString Bundle::pathForResource(const QString& name, const QString& type)
{
    QString file = resourceDirectory() + QLatin1Char('/') + name;
    if (!type.isEmpty())
        file += QLatin1Char('.') + type;
    return QFileInfo::exists(file) ? file : QString();
}

}  // namespace qn
