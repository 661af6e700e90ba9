// SPDX-License-Identifier: MIT
#include "persistence/ManagedObject.h"

#include "persistence/PersistentStore.h"

namespace qn::persistence {

ManagedObject::ManagedObject(std::shared_ptr<const ManagedObjectModel> model,
                             const EntityDescription* entity)
    : _model(std::move(model)), _entity(entity)
{
}

QString ManagedObject::objectID() const
{
    if (!_store)
        return {};
    return QStringLiteral("x-qn-store://%1/%2/p%3").arg(_store->identifier(), _entity->name).arg(_primaryKey);
}

QVariant ManagedObject::value(const QString& key) const { return _values.value(key); }

bool ManagedObject::setValue(const QString& key, const QVariant& value, QString* error)
{
    const AttributeDescription* a = _entity->attribute(key);
    if (!a) {
        if (error)
            *error = QStringLiteral("%1 has no attribute \"%2\"").arg(_entity->name, key);
        return false;
    }
    const auto v = a->coerce(value);
    if (!v) {
        if (error)
            *error = QStringLiteral("%1.%2 takes a value of type %3")
                         .arg(_entity->name, key, attributeTypeName(a->type));
        return false;
    }
    if (v->isNull())
        _values.remove(key);
    else
        _values.insert(key, *v);
    if (_store)
        _updated = true;
    return true;
}

}  // namespace qn::persistence
