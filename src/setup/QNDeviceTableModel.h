// SPDX-License-Identifier: MIT
#pragma once
// The drive table's model: one row per connected entry, in the scanner's
// order, so a row number is a device index. Each entry is a copy of the
// drive's remembered record plus "GUID" and, on at most one entry,
// "targetDevice". The target and slot-loading columns go through the named
// transformers "QNTargetDeviceTransformer" and "QNBoolTransformer".
#include <QAbstractTableModel>
#include <QList>
#include <QVariantMap>

class QNDeviceTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TargetColumn, VendorColumn, ProductColumn, InterconnectColumn, SlotLoadingColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    const QList<QVariantMap>& entries() const { return _entries; }
    void appendEntry(const QVariantMap& entry);
    void removeEntry(qsizetype row);
    /// Sets (or clears) one key of an entry and refreshes its row.
    void setEntryValue(qsizetype row, const QString& key, const QVariant& value);
    bool isTarget(qsizetype row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<QVariantMap> _entries;
};
