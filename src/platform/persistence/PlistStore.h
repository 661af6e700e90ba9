// SPDX-License-Identifier: MIT
#pragma once
// Stores of the types "XML" and "Binary": one property list, written whole
// and atomically on every save.
//
// Layout: { QNStoreType: "XML"|"Binary", QNStoreUUID: string,
//   QNStoreVersion: 1, Entities: { <entity>: { NextPrimaryKey: int,
//   Objects: [ { pk: int, values: { <attribute>: value } } ] } } }.
// UUID and URI values are written as strings, dates as integer milliseconds
// since 1970-01-01 UTC; unset values are left out.
#include "persistence/PersistentStore.h"

namespace qn::persistence {

class PlistStore final : public PersistentStore {
public:
    PlistStore(QString type, QUrl url, std::shared_ptr<const ManagedObjectModel> model);

protected:
    bool load(QString* error) override;
    bool persist(const QMap<QString, QMap<qint64, QVariantMap>>& after,
                 const std::vector<StoredObject>& upserts,
                 const std::vector<std::pair<QString, qint64>>& deletes, QString* error) override;
};

}  // namespace qn::persistence
