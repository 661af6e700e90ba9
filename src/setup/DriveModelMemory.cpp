// SPDX-License-Identifier: MIT
#include "DriveModelMemory.h"

#include "AgentPreferences.h"
#include "QNDevice.h"

namespace contracts = qn::contracts;

QVariantList* DriveModelMemory::list()
{
    if (QVariantList* stored = _store.mutableArrayForKey(contracts::kDevicePropertiesKey))
        return stored;
    _store.setObjectForKey(QVariantList{}, contracts::kDevicePropertiesKey);
    if (QVariantList* stored = _store.mutableArrayForKey(contracts::kDevicePropertiesKey))
        return stored;
    return &_detached;
}

qsizetype DriveModelMemory::indexOf(const QNDevice& device)
{
    const QVariantList& records = *list();
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (device.matchesRecord(records.at(i).toMap(), /*compareInterconnect*/ true))
            return i;
    }
    return -1;
}

QVariantMap DriveModelMemory::remember(const QNDevice& device)
{
    const qsizetype index = indexOf(device);
    QVariantList& records = *list();
    if (index >= 0)
        return records.at(index).toMap();
    QVariantMap record;
    if (!device.vendorName().isEmpty())
        record.insert(contracts::kRecordVendorNameKey, device.vendorName());
    if (!device.productName().isEmpty())
        record.insert(contracts::kRecordProductNameKey, device.productName());
    if (!device.physicalInterconnect().isEmpty())
        record.insert(contracts::kRecordInterconnectionKey, device.physicalInterconnect());
    records.append(record);
    return record;
}

void DriveModelMemory::setSlotLoading(const QNDevice& device, bool slotLoading)
{
    const qsizetype index = indexOf(device);
    if (index < 0)
        return;
    if (QVariantMap* record = QNOtherAppDefaults::mutableMap((*list())[index]))
        record->insert(contracts::kRecordSlotLoadingKey, slotLoading);
}

QVariant DriveModelMemory::slotLoadingAt(qsizetype index)
{
    const QVariantList& records = *list();
    if (index < 0 || index >= records.size())
        return {};
    return records.at(index).toMap().value(contracts::kRecordSlotLoadingKey);
}
