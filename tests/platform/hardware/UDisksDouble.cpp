// SPDX-License-Identifier: MIT
#include "UDisksDouble.h"

#include "TestSupport.h"

#include <QFile>

namespace qn::test {

bool UDisksDouble::startWithoutUDisks(QString* why, Users users)
{
    QString config;
    if (users == Users::Every) {
        // The session bus's rules, plus connections from every user.
        config = _dir.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly)
            || f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>\n"
                       "<policy context=\"default\"><allow user=\"*\"/><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n") < 0) {
            *why = QStringLiteral("cannot write the bus configuration");
            return false;
        }
    }
    return _bus.start(why, config);
}

bool UDisksDouble::start(const QMap<QString, QString>& devices, QString* why, Users users)
{
    if (!startWithoutUDisks(why, users))
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
