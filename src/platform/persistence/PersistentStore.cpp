// SPDX-License-Identifier: MIT
#include "persistence/PersistentStore.h"

#include "persistence/PlistStore.h"
#include "persistence/SQLiteStore.h"

#include <QUuid>

namespace qn::persistence {

namespace {

class InMemoryStore final : public PersistentStore {
public:
    using PersistentStore::PersistentStore;

protected:
    bool load(QString*) override
    {
        _identifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
        return true;
    }
    bool persist(const QMap<QString, QMap<qint64, QVariantMap>>&, const std::vector<StoredObject>&,
                 const std::vector<std::pair<QString, qint64>>&, QString*) override
    {
        return true;
    }
};

}  // namespace

PersistentStore::PersistentStore(QString type, QUrl url,
                                 std::shared_ptr<const ManagedObjectModel> model)
    : _type(std::move(type)), _url(std::move(url)), _model(std::move(model))
{
}

PersistentStore::~PersistentStore() = default;

std::unique_ptr<PersistentStore> PersistentStore::open(const QString& type, const QUrl& url,
                                                       std::shared_ptr<const ManagedObjectModel> model,
                                                       QString* error)
{
    auto fail = [&](const QString& why) -> std::unique_ptr<PersistentStore> {
        if (error)
            *error = why;
        return nullptr;
    };
    if (!model)
        return fail(QStringLiteral("no model"));
    std::unique_ptr<PersistentStore> store;
    if (type == kInMemoryStoreType) {
        store.reset(new InMemoryStore(type, url, model));
    } else {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            return fail(QStringLiteral("the store location is not a local file: %1")
                            .arg(url.toString()));
        if (type == kSQLiteStoreType)
            store.reset(new SQLiteStore(type, url, model));
        else if (type == kXMLStoreType || type == kBinaryStoreType)
            store.reset(new PlistStore(type, url, model));
        else
            return fail(QStringLiteral("unknown store type \"%1\"").arg(type));
    }
    QString why;
    if (!store->load(&why))
        return fail(why);
    return store;
}

qint64 PersistentStore::allocatePrimaryKey(const QString& entity)
{
    qint64& next = _nextKey[entity];
    if (next < 1)
        next = 1;
    const auto& existing = _objects.value(entity);
    if (!existing.isEmpty() && existing.lastKey() >= next)
        next = existing.lastKey() + 1;
    return next++;
}

bool PersistentStore::commit(const std::vector<StoredObject>& upserts,
                             const std::vector<std::pair<QString, qint64>>& deletes, QString* error)
{
    auto after = _objects;
    for (const StoredObject& o : upserts)
        after[o.entity][o.primaryKey] = o.values;
    for (const auto& [entity, key] : deletes) {
        auto it = after.find(entity);
        if (it != after.end())
            it->remove(key);
    }
    QString why;
    if (!persist(after, upserts, deletes, &why)) {
        if (error)
            *error = why;
        return false;
    }
    _objects = std::move(after);
    return true;
}

}  // namespace qn::persistence
