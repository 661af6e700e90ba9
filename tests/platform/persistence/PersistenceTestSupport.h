// SPDX-License-Identifier: MIT
#pragma once
// Shared set-up for the persistence tests: the Library model and stacks
// opened on a store file.
#include "persistence/ManagedObjectContext.h"
#include "persistence/ManagedObjectModel.h"
#include "persistence/PersistentStoreCoordinator.h"

#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace qn::persistence::test {

inline QString libraryModelPath() { return qn::test::dataPath(QStringLiteral("persistence/Library.xcdatamodel")); }

inline std::shared_ptr<const ManagedObjectModel> libraryModel()
{
    QString error;
    auto model = ManagedObjectModel::fromFile(libraryModelPath(), &error);
    EXPECT_TRUE(model) << error.toStdString();
    return model;
}

struct Stack {
    std::shared_ptr<PersistentStoreCoordinator> coordinator;
    ManagedObjectContext context;
    PersistentStore* store = nullptr;
    QString error;
};

/// A context on one store of the given type at path; store is null when it
/// could not be added (the reason is in error).
inline std::unique_ptr<Stack> openStack(const QString& type, const QString& path)
{
    auto s = std::make_unique<Stack>();
    s->coordinator = std::make_shared<PersistentStoreCoordinator>(libraryModel());
    s->context.setPersistentStoreCoordinator(s->coordinator);
    s->store = s->coordinator->addPersistentStore(type, QString(), QUrl::fromLocalFile(path), {}, &s->error);
    return s;
}

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

}  // namespace qn::persistence::test
