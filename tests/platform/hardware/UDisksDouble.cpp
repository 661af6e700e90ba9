// SPDX-License-Identifier: MIT
#include "UDisksDouble.h"

#include "TestSupport.h"

#include <QFile>

namespace qn::test {

bool UDisksDouble::start(const QMap<QString, QString>& devices, QString* why)
{
    if (!_bus.start(why))
        return false;
    const QString ready = _dir.filePath(QStringLiteral("ready"));
    QStringList args = {QStringLiteral(QN_UDISKS_DOUBLE_SCRIPT), _bus.address(), _dir.filePath(QStringLiteral("calls")), ready};
    for (auto it = devices.begin(); it != devices.end(); ++it)
        args << it.key() + QLatin1Char('=') + it.value();
    return _bus.startPython(args, [&] { return QFile::exists(ready); }, QStringLiteral("the udisks2 double"), why);
}

QStringList UDisksDouble::calls() const
{
    QFile f(_dir.filePath(QStringLiteral("calls")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace qn::test
