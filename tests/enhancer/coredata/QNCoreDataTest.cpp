// SPDX-License-Identifier: MIT
#include "QNCoreData.h"

#include "TestSupport.h"
#include "persistence/ManagedObjectContext.h"
#include "persistence/ManagedObjectModel.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString modelPath() { return qn::test::dataPath(QStringLiteral("persistence/Library.xcdatamodel")); }

}  // namespace

TEST(QNCoreData, MissingValuesAnswerFalseAndLeaveNoStack)
{
    QNCoreData c;
    const QString store = qn::test::homeDir() + QStringLiteral("/nil.sqlite");
    EXPECT_FALSE(c.setModelFilePath(modelPath(), store, QString()));  // nil type
    EXPECT_FALSE(c.managedObjectModel());
    EXPECT_FALSE(c.managedObjectContext());
    EXPECT_EQ(c.modelFileURL(), QUrl::fromLocalFile(modelPath()));
    EXPECT_TRUE(c.storeType().isNull());
    EXPECT_FALSE(QFile::exists(store));

    EXPECT_FALSE(c.setModelFilePath(QString(), store, QStringLiteral("SQLite")));
    EXPECT_FALSE(c.setModelFileURL(QUrl::fromLocalFile(modelPath()), QUrl(), QStringLiteral("SQLite")));
    EXPECT_FALSE(c.managedObjectContext());
}

TEST(QNCoreData, AnUnreadableModelAnswersFalse)
{
    QNCoreData c;
    EXPECT_FALSE(c.setModelFilePath(qn::test::homeDir() + QStringLiteral("/none.xcdatamodel"),
                                    qn::test::homeDir() + QStringLiteral("/a.xml"), QStringLiteral("XML")));
    EXPECT_FALSE(c.managedObjectModel());
    EXPECT_FALSE(c.managedObjectContext());
}

TEST(QNCoreData, EachStoreTypeGivesAWorkingStack)
{
    QTemporaryDir dir(qn::test::homeDir() + QStringLiteral("/cdXXXXXX"));
    ASSERT_TRUE(dir.isValid());
    for (const QString type : {"SQLite", "XML", "Binary", "InMemory"}) {
        const QString store = dir.filePath(QStringLiteral("store.") + type);
        {
            QNCoreData c;
            ASSERT_TRUE(c.setModelFilePath(modelPath(), store, type)) << type.toStdString();
            EXPECT_EQ(c.storeType(), type);
            ASSERT_TRUE(c.managedObjectModel());
            EXPECT_TRUE(c.managedObjectModel()->entity(QStringLiteral("Author")));
            auto context = c.managedObjectContext();
            ASSERT_TRUE(context);
            auto a = context->insertNewObject(QStringLiteral("Author"));
            ASSERT_TRUE(a);
            ASSERT_TRUE(a->setValue(QStringLiteral("name"), type));
            ASSERT_TRUE(context->save());
        }
        QNCoreData again;
        ASSERT_TRUE(again.setModelFileURL(QUrl::fromLocalFile(modelPath()), QUrl::fromLocalFile(store), type));
        const auto authors = again.managedObjectContext()->fetch(QStringLiteral("Author"));
        EXPECT_EQ(authors.size(), type == QLatin1String("InMemory") ? 0u : 1u) << type.toStdString();
    }
}

TEST(QNCoreData, AStoreThatCannotBeAddedAnswersFalseButKeepsModelAndContext)
{
    const QString store = qn::test::homeDir() + QStringLiteral("/notes.sqlite");
    {
        QFile f(store);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("These are my notes, not a database. Please keep them.\n");
    }
    QNCoreData c;
    EXPECT_FALSE(c.setModelFilePath(modelPath(), store, QStringLiteral("SQLite")));
    EXPECT_TRUE(c.managedObjectModel());
    EXPECT_TRUE(c.managedObjectContext());
    QFile f(store);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("These are my notes, not a database. Please keep them.\n"));

    EXPECT_FALSE(c.setModelFilePath(modelPath(), qn::test::homeDir() + QStringLiteral("/x.db"),
                                    QStringLiteral("NoSuchType")));
    EXPECT_TRUE(c.managedObjectContext());

    // A new call replaces the old stack.
    auto before = c.managedObjectContext();
    ASSERT_TRUE(c.setModelFilePath(modelPath(), qn::test::homeDir() + QStringLiteral("/ok.xml"),
                                   QStringLiteral("XML")));
    EXPECT_NE(c.managedObjectContext(), before);
}
