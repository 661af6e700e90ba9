// SPDX-License-Identifier: MIT
#include "hardware/linux/UDisksUnmounter.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QUuid>
#include <QVariantMap>

namespace qn::hardware {

namespace {
const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
constexpr int kUnmountTimeoutMs = 60000;  // a slow drive may flush for a while
constexpr int kEjectTimeoutMs = 60000;    // includes the time a password prompt waits for the user
constexpr int kPropertyTimeoutMs = 10000;

UDisksUnmounter::Result resultOf(const QDBusMessage& reply, QString* message)
{
    using Result = UDisksUnmounter::Result;
    if (reply.type() == QDBusMessage::ReplyMessage)
        return Result::Done;
    const QString error = reply.errorName();
    if (message)
        *message = error + QStringLiteral(": ") + reply.errorMessage();
    if (error == QLatin1String("org.freedesktop.UDisks2.Error.DeviceBusy"))
        return Result::Busy;
    if (error == QLatin1String("org.freedesktop.UDisks2.Error.NotMounted"))
        return Result::Done;
    // NotAuthorized, NotAuthorizedCanObtain, NotAuthorizedDismissed
    if (error.startsWith(QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorized")))
        return Result::NotAuthorized;
    if (error.startsWith(QLatin1String("org.freedesktop.UDisks2.")))
        return Result::Failed;
    return Result::Unavailable;  // no service, unknown object or method, no bus
}

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

template <typename Call>
UDisksUnmounter::Result UDisksUnmounter::onBus(Call call, QString* message) const
{
    QString connectionName;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!_busAddress.isEmpty()) {
        connectionName = QStringLiteral("qn-udisks-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        bus = QDBusConnection::connectToBus(_busAddress, connectionName);
    }
    Result result = Result::Unavailable;
    if (bus.isConnected())
        result = call(bus);
    else if (message)
        *message = QStringLiteral("no D-Bus connection");
    if (!connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName);
    return result;
}

UDisksUnmounter::Result UDisksUnmounter::unmount(const QString& deviceName, QString* message) const
{
    return onBus([&](QDBusConnection& bus) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, objectPathFor(deviceName), kFilesystem,
                                                           QStringLiteral("Unmount"));
        call << QVariantMap();
        return resultOf(bus.call(call, QDBus::Block, kUnmountTimeoutMs), message);
    }, message);
}

UDisksUnmounter::Result UDisksUnmounter::eject(const QString& deviceName, QString* message) const
{
    return onBus([&](QDBusConnection& bus) {
        // The block device names its drive object (Block.Drive); "/" means none.
        QDBusMessage get = QDBusMessage::createMethodCall(kService, objectPathFor(deviceName),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << kBlock << QStringLiteral("Drive");
        const QDBusMessage property = bus.call(get, QDBus::Block, kPropertyTimeoutMs);
        if (property.type() != QDBusMessage::ReplyMessage)
            return resultOf(property, message) == Result::Failed ? Result::Failed : Result::Unavailable;
        const QVariant value = property.arguments().value(0).value<QDBusVariant>().variant();
        const QString drive = value.value<QDBusObjectPath>().path();
        if (drive.isEmpty() || drive == QLatin1String("/")) {
            if (message)
                *message = QStringLiteral("udisks2 knows no drive for ") + deviceName;
            return Result::Unavailable;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(kService, drive, kDrive, QStringLiteral("Eject"));
        // Let polkit ask for a password when the session can.
        call << QVariantMap{{QStringLiteral("auth.no_user_interaction"), false}};
        call.setInteractiveAuthorizationAllowed(true);
        return resultOf(bus.call(call, QDBus::Block, kEjectTimeoutMs), message);
    }, message);
}

}  // namespace qn::hardware
