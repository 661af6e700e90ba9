// SPDX-License-Identifier: MIT
#pragma once
// Sets up a persistence stack (model, context, coordinator, one store) from a
// model file, a store file and a store type in one call.
#include <QString>
#include <QUrl>
#include <memory>

namespace qn::persistence {
class ManagedObjectModel;
class ManagedObjectContext;
}  // namespace qn::persistence

class QNCoreData {
public:
    QNCoreData();
    ~QNCoreData();

    /// Stores the three values, drops the old model and context and builds a
    /// new stack. False when a value is missing (an empty URL, a null type),
    /// the model cannot be read or the store cannot be added; model and
    /// context stay set in the last case. Store types: "SQLite", "XML",
    /// "Binary", "InMemory".
    bool setModelFileURL(const QUrl& modelFileURL, const QUrl& storeFileURL, const QString& storeType);
    /// The same with file paths (an empty path counts as missing).
    bool setModelFilePath(const QString& modelFilePath, const QString& storeFilePath,
                          const QString& storeType);

    QUrl modelFileURL() const { return _modelFileURL; }
    QUrl storeFileURL() const { return _storeFileURL; }
    QString storeType() const { return _storeType; }
    std::shared_ptr<const qn::persistence::ManagedObjectModel> managedObjectModel() const
    {
        return _managedObjectModel;
    }
    std::shared_ptr<qn::persistence::ManagedObjectContext> managedObjectContext() const
    {
        return _managedObjectContext;
    }

private:
    std::shared_ptr<const qn::persistence::ManagedObjectModel> _managedObjectModel;
    std::shared_ptr<qn::persistence::ManagedObjectContext> _managedObjectContext;
    QUrl _modelFileURL;
    QUrl _storeFileURL;
    QString _storeType;
};
