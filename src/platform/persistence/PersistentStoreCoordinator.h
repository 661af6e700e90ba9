// SPDX-License-Identifier: MIT
// src/platform/persistence: object persistence, with models, contexts, the store coordinator and its stores.
#pragma once
// Connects a model with the stores that hold its objects.
#include "persistence/ManagedObjectModel.h"
#include "persistence/PersistentStore.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <memory>
#include <vector>

namespace qn::persistence {

class PersistentStoreCoordinator {
public:
    explicit PersistentStoreCoordinator(std::shared_ptr<const ManagedObjectModel> model);

    std::shared_ptr<const ManagedObjectModel> managedObjectModel() const { return _model; }

    /// Opens and adds a store. Configurations and options are not supported:
    /// a non-empty configuration name fails, options are ignored. Adding a
    /// store file that is already added fails. Returns nullptr (and *error)
    /// when the store cannot be opened; nothing is added then.
    PersistentStore* addPersistentStore(const QString& type, const QString& configuration,
                                        const QUrl& url, const QVariantMap& options = {},
                                        QString* error = nullptr);

    const std::vector<std::unique_ptr<PersistentStore>>& persistentStores() const { return _stores; }
    PersistentStore* persistentStoreWithIdentifier(const QString& identifier) const;

private:
    std::shared_ptr<const ManagedObjectModel> _model;
    std::vector<std::unique_ptr<PersistentStore>> _stores;
};

}  // namespace qn::persistence
