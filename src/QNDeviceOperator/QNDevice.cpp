// SPDX-License-Identifier: MIT
#include "QNDevice.h"

#include <QUuid>

#include <cstring>

bool QNDevice::isEqual(const QNDevice& other) const
{
    return !_GUIDData.isEmpty() && !other._GUIDData.isEmpty() && _GUIDData == other._GUIDData;
}

bool QNDevice::isEqual(const QVariant& other) const
{
    if (other.metaType() != QMetaType::fromType<QNDevicePtr>())
        return false;
    const QNDevicePtr device = other.value<QNDevicePtr>();
    return device && isEqual(*device);
}

bool QNDevice::matchesRecord(const QVariantMap& record, bool compareInterconnect) const
{
    const auto same = [&](const char* key, const QString& value) {
        return record.value(QLatin1String(key)).toString() == value;
    };
    return same("vendorName", _vendorName) && same("productName", _productName)
        && (!compareInterconnect || same("interconnection", _physicalInterconnect));
}

std::optional<QString> QNDevice::GUIDString() const
{
    if (_GUIDData.isEmpty())
        return std::nullopt;
    QByteArray bytes(16, '\0');
    std::memcpy(bytes.data(), _GUIDData.constData(), size_t(std::min<qsizetype>(16, _GUIDData.size())));
    const QUuid uuid = QUuid::fromRfc4122(bytes);
    return uuid.toString(QUuid::WithoutBraces).toUpper().left(28);
}
