// SPDX-License-Identifier: MIT
#pragma once
// A scratch pad of objects: insert, change, fetch and delete objects, then
// save the changes to the coordinator's stores. Not thread-safe; use a
// context from one thread.
//
// New objects go to the coordinator's first store on save. A save validates
// every changed object first (a non-optional attribute without a value fails
// it) and writes nothing when one is invalid.
#include "persistence/ManagedObject.h"
#include "persistence/PersistentStoreCoordinator.h"

#include <QHash>
#include <memory>
#include <vector>

namespace qn::persistence {

class ManagedObjectContext {
public:
    ManagedObjectContext();
    ~ManagedObjectContext();

    void setPersistentStoreCoordinator(std::shared_ptr<PersistentStoreCoordinator> coordinator);
    std::shared_ptr<PersistentStoreCoordinator> persistentStoreCoordinator() const { return _coordinator; }

    /// A new object with the model's default values; nullptr (and *error)
    /// without a coordinator or for an entity the model lacks.
    std::shared_ptr<ManagedObject> insertNewObject(const QString& entityName, QString* error = nullptr);

    /// Every object of the entity: saved ones (by store, then key) without
    /// those deleted here, then the ones inserted here and not yet saved. The
    /// same saved object is the same ManagedObject on every fetch.
    std::vector<std::shared_ptr<ManagedObject>> fetch(const QString& entityName, QString* error = nullptr);

    /// Marks the object for deletion (an unsaved one is simply dropped).
    void deleteObject(const std::shared_ptr<ManagedObject>& object);

    bool hasChanges() const;
    bool save(QString* error = nullptr);

private:
    std::shared_ptr<PersistentStoreCoordinator> _coordinator;
    QHash<QString, std::shared_ptr<ManagedObject>> _registered;  // saved objects by ID
    std::vector<std::shared_ptr<ManagedObject>> _inserted;
};

}  // namespace qn::persistence
