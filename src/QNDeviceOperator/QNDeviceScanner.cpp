// SPDX-License-Identifier: MIT
#include "QNDeviceScanner.h"

#include "hardware/DeviceRegistry.h"
#include "notify/NotificationCenter.h"

using qn::hardware::DeviceRegistry;

QNDeviceScanner::QNDeviceScanner(QObject* parent) : QNDeviceScanner(DeviceRegistry::instance(), parent) {}

QNDeviceScanner::QNDeviceScanner(DeviceRegistry& registry, QObject* parent) : QObject(parent), _registry(&registry) {}

QNDeviceScanner::~QNDeviceScanner()
{
    unregisterCallbackHandlers();
}

void QNDeviceScanner::registerCallbackHandlers()
{
    if (_registered)
        return;
    _registered = true;
    if (!_registry->startWatching())
        return;
    _subscribed = true;
    // The snapshot first: it delivers pending events to other scanners, and
    // this one only listens from here on.
    const QList<QVariantMap> present = _registry->matchingDrives();
    connect(_registry, &DeviceRegistry::drivesAppeared, this, &QNDeviceScanner::devicesAppeared);
    connect(_registry, &DeviceRegistry::drivesDisappeared, this, &QNDeviceScanner::devicesDisappeared);
    devicesAppeared(present);
}

void QNDeviceScanner::unregisterCallbackHandlers()
{
    if (!_subscribed)
        return;
    _subscribed = false;
    disconnect(_registry, nullptr, this, nullptr);
    _registry->stopWatching();
}

qsizetype QNDeviceScanner::positionForIndex(qint64 index, qsizetype count)
{
    if (count <= 0)
        return -1;
    if (index < 0 || index >= qint64(count))
        return count - 1;
    return qsizetype(index);
}

QNDevicePtr QNDeviceScanner::deviceAtIndex(qsizetype index) const
{
    return index >= 0 && index < _devicesArray.size() ? _devicesArray.at(index) : nullptr;
}

void QNDeviceScanner::addDevicesFromArray(const QNDeviceList& devices)
{
    _devicesArray.append(devices);
}

void QNDeviceScanner::removeDevicesInArray(const QNDeviceList& devices)
{
    _devicesArray.removeIf([&](const QNDevicePtr& present) {
        for (const QNDevicePtr& gone : devices)
            if (present && gone && present->isEqual(*gone))
                return true;
        return false;
    });
}

void QNDeviceScanner::postDevicesAppearedNotification(const QNDeviceList& devices)
{
    qn::NotificationCenter::defaultCenter().post(kQNDevicesAppearedNotification, this,
                                                 {{kQNDevicesArrayKey, QVariant::fromValue(devices)}});
}

void QNDeviceScanner::postDevicesDisappearedNotification(const QNDeviceList& devices)
{
    qn::NotificationCenter::defaultCenter().post(kQNDevicesDisappearedNotification, nullptr,
                                                 {{kQNDevicesArrayKey, QVariant::fromValue(devices)}});
}

QNDevicePtr QNDeviceScanner::deviceFromProperties(const QVariantMap& properties)
{
    using namespace qn::hardware;
    auto device = std::make_shared<QNDevice>();
    const QVariant guid = properties.value(QLatin1String(kGUIDKey));
    if (guid.isValid())
        device->setGUIDData(guid.toByteArray());
    const QVariant protocol = properties.value(QLatin1String(kProtocolCharacteristicsKey));
    if (protocol.isValid())
        device->setPhysicalInterconnect(protocol.toMap().value(QLatin1String(kPhysicalInterconnectKey)).toString());
    const QVariant characteristics = properties.value(QLatin1String(kDeviceCharacteristicsKey));
    if (characteristics.isValid()) {
        const QVariantMap ch = characteristics.toMap();
        device->setVendorName(ch.value(QLatin1String(kVendorNameKey)).toString());
        device->setProductName(ch.value(QLatin1String(kProductNameKey)).toString());
        device->setProductRevisionLevel(ch.value(QLatin1String(kProductRevisionLevelKey)).toString());
        // Read as a 32-bit integer: wider values keep their low 32 bits.
        device->setCDFeatures(quint32(ch.value(QLatin1String(kCDFeaturesKey)).toLongLong()));
        device->setDVDFeatures(quint32(ch.value(QLatin1String(kDVDFeaturesKey)).toLongLong()));
    }
    return device;
}

QNDeviceList QNDeviceScanner::devicesFromUserInfo(const QVariantMap& userInfo)
{
    return userInfo.value(kQNDevicesArrayKey).value<QNDeviceList>();
}

void QNDeviceScanner::devicesAppeared(const QList<QVariantMap>& entries)
{
    QNDeviceList batch;
    for (const QVariantMap& entry : entries)
        batch.append(deviceFromProperties(entry));  // kept even without an identity
    if (batch.isEmpty())
        return;
    addDevicesFromArray(batch);
    postDevicesAppearedNotification(batch);
}

void QNDeviceScanner::devicesDisappeared(const QList<QVariantMap>& entries)
{
    QNDeviceList batch;
    for (const QVariantMap& entry : entries) {
        const QVariant guid = entry.value(QLatin1String(qn::hardware::kGUIDKey));
        if (!guid.isValid() || guid.toByteArray().isEmpty())
            continue;  // without an identity nothing can be matched
        auto device = std::make_shared<QNDevice>();
        device->setGUIDData(guid.toByteArray());
        batch.append(device);
    }
    if (batch.isEmpty())
        return;
    removeDevicesInArray(batch);
    postDevicesDisappearedNotification(batch);
}
