// SPDX-License-Identifier: MIT
#pragma once
// One object of an entity, living in a context. Values are checked against
// the entity's attributes when set.
#include "persistence/ManagedObjectModel.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>

namespace qn::persistence {

class PersistentStore;

class ManagedObject {
public:
    const EntityDescription& entity() const { return *_entity; }

    /// "x-qn-store://<store identifier>/<entity>/p<key>" once saved; empty
    /// while the object exists only in its context.
    QString objectID() const;

    /// The attribute's value; a null QVariant when unset or not an attribute.
    QVariant value(const QString& key) const;
    /// Sets an attribute, converted to its value type (see
    /// AttributeDescription::coerce). False (and *error) for an unknown key or
    /// a value that does not fit; the object is unchanged then. A null
    /// QVariant unsets the value.
    bool setValue(const QString& key, const QVariant& value, QString* error = nullptr);

    QVariantMap values() const { return _values; }

    bool isInserted() const { return _store == nullptr; }
    bool isUpdated() const { return _updated; }
    bool isDeleted() const { return _deleted; }

private:
    friend class ManagedObjectContext;
    ManagedObject(std::shared_ptr<const ManagedObjectModel> model, const EntityDescription* entity);

    std::shared_ptr<const ManagedObjectModel> _model;  // keeps _entity alive
    const EntityDescription* _entity;
    QVariantMap _values;
    PersistentStore* _store = nullptr;
    qint64 _primaryKey = 0;
    bool _updated = false;
    bool _deleted = false;
};

}  // namespace qn::persistence
