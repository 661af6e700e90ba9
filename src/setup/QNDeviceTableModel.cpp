// SPDX-License-Identifier: MIT
#include "QNDeviceTableModel.h"

#include "strings/LocalizedString.h"
#include "transform/ValueTransformer.h"

namespace {

QVariant transformed(const char* name, const QVariant& value)
{
    if (auto transformer = qn::ValueTransformer::valueTransformerForName(QString::fromLatin1(name)))
        return transformer->transformedValue(value);
    return value;
}

}  // namespace

void QNDeviceTableModel::appendEntry(const QVariantMap& entry)
{
    const int row = int(_entries.size());
    beginInsertRows({}, row, row);
    _entries.append(entry);
    endInsertRows();
}

void QNDeviceTableModel::removeEntry(qsizetype row)
{
    if (row < 0 || row >= _entries.size())
        return;
    beginRemoveRows({}, int(row), int(row));
    _entries.removeAt(row);
    endRemoveRows();
}

void QNDeviceTableModel::setEntryValue(qsizetype row, const QString& key, const QVariant& value)
{
    if (row < 0 || row >= _entries.size())
        return;
    if (value.isValid())
        _entries[row].insert(key, value);
    else
        _entries[row].remove(key);
    emit dataChanged(index(int(row), 0), index(int(row), ColumnCount - 1));
}

bool QNDeviceTableModel::isTarget(qsizetype row) const
{
    return row >= 0 && row < _entries.size() && _entries.at(row).value(QStringLiteral("targetDevice")).toBool();
}

int QNDeviceTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(_entries.size());
}

int QNDeviceTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant QNDeviceTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= _entries.size() || role != Qt::DisplayRole)
        return {};
    const QVariantMap& entry = _entries.at(index.row());
    switch (index.column()) {
    case TargetColumn:
        return transformed("QNTargetDeviceTransformer", entry.value(QStringLiteral("targetDevice")));
    case VendorColumn:
        return entry.value(QStringLiteral("vendorName"));
    case ProductColumn:
        return entry.value(QStringLiteral("productName"));
    case InterconnectColumn:
        return entry.value(QStringLiteral("interconnection"));
    case SlotLoadingColumn: {
        // Only the tray check knows; before it ran for this model, say so.
        const QVariant slotLoading = entry.value(QStringLiteral("slotLoading"));
        if (!slotLoading.isValid())
            return qn::localizedString("NotChecked");
        return transformed("QNBoolTransformer", slotLoading);
    }
    default:
        return {};
    }
}

QVariant QNDeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TargetColumn:
        return qn::localizedString("ColumnTarget");
    case VendorColumn:
        return qn::localizedString("ColumnVendor");
    case ProductColumn:
        return qn::localizedString("ColumnProduct");
    case InterconnectColumn:
        return qn::localizedString("ColumnInterconnect");
    case SlotLoadingColumn:
        return qn::localizedString("ColumnSlotLoading");
    default:
        return {};
    }
}
