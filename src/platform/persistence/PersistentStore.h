// SPDX-License-Identifier: MIT
#pragma once
// A persistent store holds the saved objects of one file (or of memory).
//
// Types: "SQLite" (an SQLite database, one table per entity), "XML" and
// "Binary" (a property list in that form, rewritten whole on each save),
// "InMemory" (nothing reaches the disk). A store loads every object when it
// is opened and keeps them in memory; a save writes the changes and updates
// that copy only when the write succeeded. A missing or empty file is a new,
// empty store; a file of another type, of another program or damaged is
// refused when opening and left untouched.
#include "persistence/ManagedObjectModel.h"

#include <QMap>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <memory>
#include <vector>

namespace qn::persistence {

inline const QString kSQLiteStoreType = QStringLiteral("SQLite");
inline const QString kXMLStoreType = QStringLiteral("XML");
inline const QString kBinaryStoreType = QStringLiteral("Binary");
inline const QString kInMemoryStoreType = QStringLiteral("InMemory");

/// One object as a store keeps it: values already coerced to their
/// attribute's value type; unset attributes are absent.
struct StoredObject {
    QString entity;
    qint64 primaryKey = 0;
    QVariantMap values;
};

class PersistentStore {
public:
    /// Opens a store of the given type; nullptr (and *error) for an unknown
    /// type, a URL that is not a local file (except for "InMemory") or a
    /// file that cannot be read as this type.
    static std::unique_ptr<PersistentStore> open(const QString& type, const QUrl& url,
                                                 std::shared_ptr<const ManagedObjectModel> model,
                                                 QString* error = nullptr);
    virtual ~PersistentStore();

    QString type() const { return _type; }
    QUrl url() const { return _url; }
    /// A random identifier kept in the file, part of object IDs.
    QString identifier() const { return _identifier; }

    /// Saved objects by entity name, then primary key.
    const QMap<QString, QMap<qint64, QVariantMap>>& objects() const { return _objects; }

    /// A primary key not used before in this store for that entity.
    qint64 allocatePrimaryKey(const QString& entity);

    /// Writes inserted/updated objects and removes the deleted ones in one go.
    bool commit(const std::vector<StoredObject>& upserts,
                const std::vector<std::pair<QString, qint64>>& deletes, QString* error = nullptr);

protected:
    PersistentStore(QString type, QUrl url, std::shared_ptr<const ManagedObjectModel> model);
    /// Reads the file into _objects, _nextKey and _identifier.
    virtual bool load(QString* error) = 0;
    /// Makes the new state durable; `after` is the full state after the change.
    virtual bool persist(const QMap<QString, QMap<qint64, QVariantMap>>& after,
                         const std::vector<StoredObject>& upserts,
                         const std::vector<std::pair<QString, qint64>>& deletes,
                         QString* error) = 0;

    QString _type;
    QUrl _url;
    std::shared_ptr<const ManagedObjectModel> _model;
    QString _identifier;
    QMap<QString, QMap<qint64, QVariantMap>> _objects;
    QMap<QString, qint64> _nextKey;
};

}  // namespace qn::persistence
