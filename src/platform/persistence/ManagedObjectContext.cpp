// SPDX-License-Identifier: MIT
#include "persistence/ManagedObjectContext.h"

#include <map>

namespace qn::persistence {

ManagedObjectContext::ManagedObjectContext() = default;
ManagedObjectContext::~ManagedObjectContext() = default;

void ManagedObjectContext::setPersistentStoreCoordinator(std::shared_ptr<PersistentStoreCoordinator> c)
{
    if (c == _coordinator)
        return;
    _coordinator = std::move(c);
    _registered.clear();
    _inserted.clear();
}

std::shared_ptr<ManagedObject> ManagedObjectContext::insertNewObject(const QString& name, QString* error)
{
    if (!_coordinator) {
        if (error)
            *error = QStringLiteral("the context has no store coordinator");
        return nullptr;
    }
    const auto model = _coordinator->managedObjectModel();
    const EntityDescription* entity = model ? model->entity(name) : nullptr;
    if (!entity) {
        if (error)
            *error = QStringLiteral("the model has no entity \"%1\"").arg(name);
        return nullptr;
    }
    std::shared_ptr<ManagedObject> o(new ManagedObject(model, entity));
    for (const AttributeDescription& a : entity->attributes)
        if (!a.defaultValue.isNull())
            o->_values.insert(a.name, a.defaultValue);
    _inserted.push_back(o);
    return o;
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::fetch(const QString& name, QString* error)
{
    std::vector<std::shared_ptr<ManagedObject>> result;
    const auto model = _coordinator ? _coordinator->managedObjectModel() : nullptr;
    const EntityDescription* entity = model ? model->entity(name) : nullptr;
    if (!entity) {
        if (error)
            *error = QStringLiteral("the model has no entity \"%1\"").arg(name);
        return result;
    }
    for (const auto& store : _coordinator->persistentStores()) {
        const auto objects = store->objects().value(name);
        for (auto it = objects.begin(); it != objects.end(); ++it) {
            const QString id = QStringLiteral("x-qn-store://%1/%2/p%3")
                                   .arg(store->identifier(), name)
                                   .arg(it.key());
            auto found = _registered.find(id);
            if (found == _registered.end()) {
                std::shared_ptr<ManagedObject> o(new ManagedObject(model, entity));
                o->_values = it.value();
                o->_store = store.get();
                o->_primaryKey = it.key();
                found = _registered.insert(id, o);
            }
            if (!found.value()->_deleted)
                result.push_back(found.value());
        }
    }
    for (const auto& o : _inserted)
        if (o->_entity == entity)
            result.push_back(o);
    return result;
}

void ManagedObjectContext::deleteObject(const std::shared_ptr<ManagedObject>& object)
{
    if (!object)
        return;
    if (!object->_store) {
        std::erase(_inserted, object);
        return;
    }
    if (_registered.value(object->objectID()) == object)
        object->_deleted = true;
}

bool ManagedObjectContext::hasChanges() const
{
    if (!_inserted.empty())
        return true;
    for (const auto& o : _registered)
        if (o->_updated || o->_deleted)
            return true;
    return false;
}

bool ManagedObjectContext::save(QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!hasChanges())
        return true;
    if (!_coordinator || _coordinator->persistentStores().empty())
        return fail(QStringLiteral("no persistent store to save to"));
    auto valid = [&](const ManagedObject& o, QString* why) {
        for (const AttributeDescription& a : o._entity->attributes)
            if (!a.optional && !o._values.contains(a.name)) {
                *why = QStringLiteral("%1.%2 needs a value").arg(o._entity->name, a.name);
                return false;
            }
        return true;
    };
    QString why;
    for (const auto& o : _inserted)
        if (!valid(*o, &why))
            return fail(why);
    for (const auto& o : _registered)
        if (o->_updated && !o->_deleted && !valid(*o, &why))
            return fail(why);

    struct Batch {
        std::vector<StoredObject> upserts;
        std::vector<std::pair<QString, qint64>> deletes;
        std::vector<std::shared_ptr<ManagedObject>> inserted;
    };
    std::map<PersistentStore*, Batch> batches;
    PersistentStore* first = _coordinator->persistentStores().front().get();
    for (const auto& o : _registered) {
        if (o->_deleted)
            batches[o->_store].deletes.emplace_back(o->_entity->name, o->_primaryKey);
        else if (o->_updated)
            batches[o->_store].upserts.push_back({o->_entity->name, o->_primaryKey, o->_values});
    }
    std::vector<qint64> keys;
    for (const auto& o : _inserted) {
        keys.push_back(first->allocatePrimaryKey(o->_entity->name));
        batches[first].upserts.push_back({o->_entity->name, keys.back(), o->_values});
    }
    for (auto& [store, batch] : batches)
        if (!store->commit(batch.upserts, batch.deletes, &why))
            return fail(why);

    for (auto it = _registered.begin(); it != _registered.end();) {
        if (it.value()->_deleted) {
            it = _registered.erase(it);
        } else {
            it.value()->_updated = false;
            ++it;
        }
    }
    for (size_t i = 0; i < _inserted.size(); ++i) {
        _inserted[i]->_store = first;
        _inserted[i]->_primaryKey = keys[i];
        _registered.insert(_inserted[i]->objectID(), _inserted[i]);
    }
    _inserted.clear();
    return true;
}

}  // namespace qn::persistence
