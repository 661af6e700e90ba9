// SPDX-License-Identifier: MIT
#include "persistence/PersistentStoreCoordinator.h"

namespace qn::persistence {

PersistentStoreCoordinator::PersistentStoreCoordinator(std::shared_ptr<const ManagedObjectModel> model)
    : _model(std::move(model))
{
}

PersistentStore* PersistentStoreCoordinator::addPersistentStore(const QString& type,
                                                                const QString& configuration,
                                                                const QUrl& url, const QVariantMap&,
                                                                QString* error)
{
    if (!configuration.isEmpty()) {
        if (error)
            *error = QStringLiteral("model configurations are not supported");
        return nullptr;
    }
    if (type != kInMemoryStoreType) {
        for (const auto& s : _stores)
            if (s->type() != kInMemoryStoreType && s->url() == url) {
                if (error)
                    *error = QStringLiteral("the store %1 is already added").arg(url.toString());
                return nullptr;
            }
    }
    auto store = PersistentStore::open(type, url, _model, error);
    if (!store)
        return nullptr;
    _stores.push_back(std::move(store));
    return _stores.back().get();
}

PersistentStore* PersistentStoreCoordinator::persistentStoreWithIdentifier(const QString& id) const
{
    for (const auto& s : _stores)
        if (s->identifier() == id)
            return s.get();
    return nullptr;
}

}  // namespace qn::persistence
