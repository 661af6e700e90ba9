// SPDX-License-Identifier: MIT
#include "UDisksDouble.h"

#include "TestSupport.h"

#include <QFile>

namespace qn::test {

UDisksDouble::~UDisksDouble()
{
    stop(_double);
    stop(_bus);
}

void UDisksDouble::stop(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();  // SIGTERM to this child's pid
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

bool UDisksDouble::start(const QMap<QString, QString>& devices, QString* why)
{
    _bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                               QStringLiteral("--print-address=1")});
    if (!_bus.waitForStarted(5000)) {
        *why = QStringLiteral("dbus-daemon cannot start");
        return false;
    }
    if (!waitUntil([&] { return _bus.canReadLine(); }, 10000)) {
        *why = QStringLiteral("dbus-daemon printed no address");
        return false;
    }
    _address = QString::fromUtf8(_bus.readLine()).trimmed();

    const QString ready = _dir.filePath(QStringLiteral("ready"));
    QStringList args = {QStringLiteral(QN_UDISKS_DOUBLE_SCRIPT), _address, _dir.filePath(QStringLiteral("calls")), ready};
    for (auto it = devices.begin(); it != devices.end(); ++it)
        args << it.key() + QLatin1Char('=') + it.value();
    _double.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    _double.start(systemPython(), args);
    if (!_double.waitForStarted(5000) ||
        !waitUntil([&] { return QFile::exists(ready) || _double.state() == QProcess::NotRunning; }, 20000) ||
        !QFile::exists(ready)) {
        *why = QStringLiteral("the udisks2 double (python3-dbusmock) did not start");
        return false;
    }
    return true;
}

QStringList UDisksDouble::calls() const
{
    QFile f(_dir.filePath(QStringLiteral("calls")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace qn::test
