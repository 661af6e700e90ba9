// SPDX-License-Identifier: MIT
#include "PersistenceTestSupport.h"

#include <QTemporaryDir>

using namespace qn::persistence;
using namespace qn::persistence::test;

TEST(ManagedObjectContext, SaveWithAMissingRequiredValueWritesNothing)
{
    const QString where = qn::test::homeDir() + QStringLiteral("/invalid.xml");
    auto s = openStack(kXMLStoreType, where);
    ASSERT_TRUE(s->store) << s->error.toStdString();
    auto good = s->context.insertNewObject(QStringLiteral("Book"));
    ASSERT_TRUE(good->setValue(QStringLiteral("title"), QStringLiteral("Fine")));
    auto bad = s->context.insertNewObject(QStringLiteral("Book"));  // no title
    QString error;
    EXPECT_FALSE(s->context.save(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("title"))) << error.toStdString();
    EXPECT_FALSE(QFile::exists(where));
    EXPECT_TRUE(s->context.hasChanges());

    ASSERT_TRUE(bad->setValue(QStringLiteral("title"), QStringLiteral("Now fine")));
    EXPECT_TRUE(s->context.save(&error)) << error.toStdString();
    EXPECT_TRUE(QFile::exists(where));
}

TEST(ManagedObjectContext, RejectedValuesLeaveTheObjectUnchanged)
{
    auto s = openStack(kInMemoryStoreType, QStringLiteral("/unused"));
    auto b = s->context.insertNewObject(QStringLiteral("Book"));
    ASSERT_TRUE(b->setValue(QStringLiteral("pages"), 10));
    QString error;
    EXPECT_FALSE(b->setValue(QStringLiteral("pages"), QStringLiteral("many"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(b->setValue(QStringLiteral("pages"), qint64(1) << 40));
    EXPECT_FALSE(b->setValue(QStringLiteral("publisher"), QStringLiteral("Nobody")));
    EXPECT_EQ(b->value(QStringLiteral("pages")), QVariant(qint64(10)));
    EXPECT_TRUE(b->value(QStringLiteral("publisher")).isNull());
    ASSERT_TRUE(b->setValue(QStringLiteral("pages"), QVariant()));
    EXPECT_TRUE(b->value(QStringLiteral("pages")).isNull());
    EXPECT_FALSE(s->context.insertNewObject(QStringLiteral("Publisher")));
}

TEST(ManagedObjectContext, FetchReturnsOneObjectPerRecordAndIncludesUnsavedOnes)
{
    auto s = openStack(kInMemoryStoreType, QStringLiteral("/unused"));
    auto saved = s->context.insertNewObject(QStringLiteral("Author"));
    ASSERT_TRUE(saved->setValue(QStringLiteral("name"), QStringLiteral("Saved")));
    ASSERT_TRUE(s->context.save());
    auto unsaved = s->context.insertNewObject(QStringLiteral("Author"));
    const auto first = s->context.fetch(QStringLiteral("Author"));
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0], saved);
    EXPECT_EQ(first[1], unsaved);
    EXPECT_TRUE(s->context.fetch(QStringLiteral("Book")).empty());

    // Deleting an unsaved object simply drops it.
    s->context.deleteObject(unsaved);
    EXPECT_EQ(s->context.fetch(QStringLiteral("Author")).size(), 1u);
    EXPECT_FALSE(s->context.hasChanges());

    QString error;
    EXPECT_TRUE(s->context.fetch(QStringLiteral("Nothing"), &error).empty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(ManagedObjectContext, SavingWithoutAStoreFails)
{
    auto c = std::make_shared<PersistentStoreCoordinator>(libraryModel());
    ManagedObjectContext context;
    EXPECT_FALSE(context.insertNewObject(QStringLiteral("Book")));  // no coordinator yet
    context.setPersistentStoreCoordinator(c);
    auto b = context.insertNewObject(QStringLiteral("Book"));
    ASSERT_TRUE(b->setValue(QStringLiteral("title"), QStringLiteral("Lost?")));
    QString error;
    EXPECT_FALSE(context.save(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(context.hasChanges());
}
