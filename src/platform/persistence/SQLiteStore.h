// SPDX-License-Identifier: MIT
#pragma once
// The "SQLite" store: one table "Z_<entity>" per entity with the column Z_PK
// and one column per attribute, plus Z_METADATA (store type and identifier)
// and Z_PRIMARYKEY (the next key per entity). Saves run in one transaction.
// Columns for attributes added to the model are added on opening.
//
// Column forms: integers and Boolean INTEGER, Decimal/Double/Float REAL,
// String, UUID and URI TEXT, Binary BLOB, Date INTEGER milliseconds since
// 1970-01-01 UTC.
#include "persistence/PersistentStore.h"

struct sqlite3;

namespace qn::persistence {

class SQLiteStore final : public PersistentStore {
public:
    SQLiteStore(QString type, QUrl url, std::shared_ptr<const ManagedObjectModel> model);
    ~SQLiteStore() override;

protected:
    bool load(QString* error) override;
    bool persist(const QMap<QString, QMap<qint64, QVariantMap>>& after,
                 const std::vector<StoredObject>& upserts,
                 const std::vector<std::pair<QString, qint64>>& deletes, QString* error) override;

private:
    bool exec(const QString& sql, QString* error);
    bool prepareSchema(bool fresh, QString* error);
    bool loadEntity(const EntityDescription& entity, QString* error);

    sqlite3* _db = nullptr;
};

}  // namespace qn::persistence
