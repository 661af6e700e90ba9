// SPDX-License-Identifier: MIT
#include "hardware/linux/UDisksUnmounter.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QUuid>
#include <QVariantMap>

namespace qn::hardware {

namespace {
const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
constexpr int kUnmountTimeoutMs = 60000;  // a slow drive may flush for a while
}  // namespace

UDisksUnmounter::UDisksUnmounter(QString busAddress) : _busAddress(std::move(busAddress)) {}

QString UDisksUnmounter::objectPathFor(const QString& deviceName)
{
    QString path = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
    for (const char c : deviceName.toUtf8()) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')
            path.append(QLatin1Char(c));
        else
            path.append(QStringLiteral("_%1").arg(uchar(c), 2, 16, QLatin1Char('0')));
    }
    return path;
}

UDisksUnmounter::Result UDisksUnmounter::unmount(const QString& deviceName, QString* message) const
{
    QString connectionName;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!_busAddress.isEmpty()) {
        connectionName = QStringLiteral("qn-udisks-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        bus = QDBusConnection::connectToBus(_busAddress, connectionName);
    }
    Result result = Result::Unavailable;
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, objectPathFor(deviceName), kFilesystem,
                                                           QStringLiteral("Unmount"));
        call << QVariantMap();
        const QDBusMessage reply = bus.call(call, QDBus::Block, kUnmountTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage) {
            result = Result::Unmounted;
        } else {
            const QString error = reply.errorName();
            if (message)
                *message = error + QStringLiteral(": ") + reply.errorMessage();
            if (error == QLatin1String("org.freedesktop.UDisks2.Error.DeviceBusy"))
                result = Result::Busy;
            else if (error == QLatin1String("org.freedesktop.UDisks2.Error.NotMounted"))
                result = Result::Unmounted;
            else if (error.startsWith(QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorized")))
                result = Result::NotAuthorized;
            else if (error.startsWith(QLatin1String("org.freedesktop.UDisks2.")))
                result = Result::Failed;
            else
                result = Result::Unavailable;  // no service, unknown object or method, no bus
        }
    } else if (message) {
        *message = QStringLiteral("no D-Bus connection");
    }
    if (!connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName);
    return result;
}

}  // namespace qn::hardware
