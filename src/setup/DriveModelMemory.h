// SPDX-License-Identifier: MIT
#pragma once
// DriveModelMemory: the remembered record of every drive model ever seen,
// kept in the agent's preferences under "deviceProperties" (vendor, product,
// interconnect and, after a tray check, whether the drive is slot-loading).
// Records are never removed; changes are written with the store's next write.
#include "QNOtherAppDefaults.h"

#include <QVariantList>
#include <QVariantMap>

class QNDevice;

class DriveModelMemory {
public:
    /// `store` is kept and must outlive this object.
    explicit DriveModelMemory(QNOtherAppDefaults& store) : _store(store) {}

    /// Position of the drive model's first record (vendor, product and
    /// interconnect all equal; a missing value equals only a missing or empty
    /// one), or -1.
    qsizetype indexOf(const QNDevice& device);

    /// The drive model's record; a new record with the values the drive
    /// reports is appended (not written yet) when there is none.
    QVariantMap remember(const QNDevice& device);

    /// Sets "slotLoading" on the drive model's record (not written yet); a
    /// drive without a record gets nothing.
    void setSlotLoading(const QNDevice& device, bool slotLoading);

    /// "slotLoading" of the record at `index`; invalid when it has none.
    QVariant slotLoadingAt(qsizetype index);

private:
    /// The array inside the store (the key is created and written when
    /// absent); a list of our own while the store keeps nothing (no
    /// preference path).
    QVariantList* list();

    QNOtherAppDefaults& _store;
    QVariantList _detached;
};
