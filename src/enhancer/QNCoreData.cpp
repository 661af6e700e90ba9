// SPDX-License-Identifier: MIT
#include "QNCoreData.h"

#include "persistence/ManagedObjectContext.h"
#include "persistence/ManagedObjectModel.h"
#include "persistence/PersistentStoreCoordinator.h"

QNCoreData::QNCoreData() = default;
QNCoreData::~QNCoreData() = default;

bool QNCoreData::setModelFileURL(const QUrl& modelFileURL, const QUrl& storeFileURL,
                                 const QString& storeType)
{
    _modelFileURL = modelFileURL;
    _storeFileURL = storeFileURL;
    _storeType = storeType;
    _managedObjectModel.reset();
    _managedObjectContext.reset();
    if (_modelFileURL.isEmpty() || _storeFileURL.isEmpty() || _storeType.isNull())
        return false;
    if (!_modelFileURL.isLocalFile())
        return false;
    _managedObjectModel = qn::persistence::ManagedObjectModel::fromFile(_modelFileURL.toLocalFile());
    if (!_managedObjectModel)
        return false;
    auto coordinator = std::make_shared<qn::persistence::PersistentStoreCoordinator>(_managedObjectModel);
    _managedObjectContext = std::make_shared<qn::persistence::ManagedObjectContext>();
    _managedObjectContext->setPersistentStoreCoordinator(coordinator);
    return coordinator->addPersistentStore(_storeType, QString(), _storeFileURL) != nullptr;
}

bool QNCoreData::setModelFilePath(const QString& modelFilePath, const QString& storeFilePath,
                                  const QString& storeType)
{
    const QUrl model = modelFilePath.isEmpty() ? QUrl() : QUrl::fromLocalFile(modelFilePath);
    const QUrl store = storeFilePath.isEmpty() ? QUrl() : QUrl::fromLocalFile(storeFilePath);
    return setModelFileURL(model, store, storeType);
}
