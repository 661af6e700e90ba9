// SPDX-License-Identifier: MIT
#include "PersistenceTestSupport.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>

using namespace qn::persistence;
using namespace qn::persistence::test;

namespace {

class FileStore : public ::testing::TestWithParam<QString> {
protected:
    void SetUp() override { ASSERT_TRUE(_dir.isValid()); }
    QString path(const QString& name = QStringLiteral("library.store")) const { return _dir.filePath(name); }

    QTemporaryDir _dir{qn::test::homeDir() + QStringLiteral("/storeXXXXXX")};
};

const QDateTime kPublished = QDateTime::fromMSecsSinceEpoch(1234567890123, Qt::UTC);
const QUuid kIdentifier = QUuid(QStringLiteral("{6f1c2b0e-8f0a-4c1d-9d6e-2a3b4c5d6e7f}"));

void fillBook(ManagedObject& b)
{
    ASSERT_TRUE(b.setValue(QStringLiteral("title"), QStringLiteral("Ünïcode & \"quotes\" <xml>")));
    ASSERT_TRUE(b.setValue(QStringLiteral("pages"), 412));
    ASSERT_TRUE(b.setValue(QStringLiteral("sales"), qint64(9000000000)));
    ASSERT_TRUE(b.setValue(QStringLiteral("price"), 12.75));
    ASSERT_TRUE(b.setValue(QStringLiteral("rating"), 4.5));
    ASSERT_TRUE(b.setValue(QStringLiteral("inPrint"), false));
    ASSERT_TRUE(b.setValue(QStringLiteral("published"), kPublished));
    ASSERT_TRUE(b.setValue(QStringLiteral("cover"), QByteArray("\x00\x01\xff binary", 10)));
    ASSERT_TRUE(b.setValue(QStringLiteral("identifier"), kIdentifier));
    ASSERT_TRUE(b.setValue(QStringLiteral("link"), QUrl(QStringLiteral("https://example.org/b?x=1"))));
}

}  // namespace

TEST_P(FileStore, ObjectsOfBothEntitiesComeBackAfterReopening)
{
    QString bookID;
    {
        auto s = openStack(GetParam(), path());
        ASSERT_TRUE(s->store) << s->error.toStdString();
        EXPECT_EQ(s->store->type(), GetParam());
        auto author = s->context.insertNewObject(QStringLiteral("Author"));
        ASSERT_TRUE(author);
        ASSERT_TRUE(author->setValue(QStringLiteral("name"), QStringLiteral("Ada")));
        ASSERT_TRUE(author->setValue(QStringLiteral("born"), -1815));
        auto book = s->context.insertNewObject(QStringLiteral("Book"));
        fillBook(*book);
        auto plain = s->context.insertNewObject(QStringLiteral("Book"));
        ASSERT_TRUE(plain->setValue(QStringLiteral("title"), QStringLiteral("Defaults only")));
        EXPECT_TRUE(book->objectID().isEmpty());
        ASSERT_TRUE(s->context.save(&s->error)) << s->error.toStdString();
        bookID = book->objectID();
        EXPECT_FALSE(bookID.isEmpty());
        EXPECT_FALSE(s->context.hasChanges());
    }
    auto s = openStack(GetParam(), path());
    ASSERT_TRUE(s->store) << s->error.toStdString();
    const auto authors = s->context.fetch(QStringLiteral("Author"));
    ASSERT_EQ(authors.size(), 1u);
    EXPECT_EQ(authors[0]->value(QStringLiteral("name")), QVariant(QStringLiteral("Ada")));
    EXPECT_EQ(authors[0]->value(QStringLiteral("born")), QVariant(qint64(-1815)));

    const auto books = s->context.fetch(QStringLiteral("Book"));
    ASSERT_EQ(books.size(), 2u);
    const ManagedObject& b = *books[0];
    EXPECT_EQ(b.objectID(), bookID);
    EXPECT_EQ(b.value(QStringLiteral("title")).toString(), QStringLiteral("Ünïcode & \"quotes\" <xml>"));
    EXPECT_EQ(b.value(QStringLiteral("pages")), QVariant(qint64(412)));
    EXPECT_EQ(b.value(QStringLiteral("sales")), QVariant(qint64(9000000000)));
    EXPECT_DOUBLE_EQ(b.value(QStringLiteral("price")).toDouble(), 12.75);
    EXPECT_DOUBLE_EQ(b.value(QStringLiteral("rating")).toDouble(), 4.5);
    EXPECT_EQ(b.value(QStringLiteral("inPrint")), QVariant(false));
    EXPECT_EQ(b.value(QStringLiteral("published")).toDateTime(), kPublished);
    EXPECT_EQ(b.value(QStringLiteral("cover")).toByteArray(), QByteArray("\x00\x01\xff binary", 10));
    EXPECT_EQ(b.value(QStringLiteral("identifier")).toUuid(), kIdentifier);
    EXPECT_EQ(b.value(QStringLiteral("link")).toUrl(), QUrl(QStringLiteral("https://example.org/b?x=1")));

    const ManagedObject& d = *books[1];
    EXPECT_EQ(d.value(QStringLiteral("pages")), QVariant(qint64(0)));   // model default
    EXPECT_EQ(d.value(QStringLiteral("inPrint")), QVariant(true));      // model default
    EXPECT_TRUE(d.value(QStringLiteral("published")).isNull());         // never set
    EXPECT_TRUE(d.value(QStringLiteral("cover")).isNull());
}

TEST_P(FileStore, ChangesAndDeletionsSurviveReopeningAndKeysAreNotReused)
{
    QString deletedID;
    {
        auto s = openStack(GetParam(), path());
        ASSERT_TRUE(s->store) << s->error.toStdString();
        for (const char* t : {"One", "Two", "Three"}) {
            auto b = s->context.insertNewObject(QStringLiteral("Book"));
            ASSERT_TRUE(b->setValue(QStringLiteral("title"), QString::fromLatin1(t)));
        }
        ASSERT_TRUE(s->context.save());
    }
    {
        auto s = openStack(GetParam(), path());
        ASSERT_TRUE(s->store) << s->error.toStdString();
        auto books = s->context.fetch(QStringLiteral("Book"));
        ASSERT_EQ(books.size(), 3u);
        ASSERT_TRUE(books[0]->setValue(QStringLiteral("pages"), 99));
        deletedID = books[2]->objectID();
        s->context.deleteObject(books[2]);
        EXPECT_EQ(s->context.fetch(QStringLiteral("Book")).size(), 2u);
        ASSERT_TRUE(s->context.save(&s->error)) << s->error.toStdString();
    }
    auto s = openStack(GetParam(), path());
    ASSERT_TRUE(s->store) << s->error.toStdString();
    auto books = s->context.fetch(QStringLiteral("Book"));
    ASSERT_EQ(books.size(), 2u);
    EXPECT_EQ(books[0]->value(QStringLiteral("pages")), QVariant(qint64(99)));
    EXPECT_EQ(books[1]->value(QStringLiteral("title")).toString(), QStringLiteral("Two"));
    auto fresh = s->context.insertNewObject(QStringLiteral("Book"));
    ASSERT_TRUE(fresh->setValue(QStringLiteral("title"), QStringLiteral("Four")));
    ASSERT_TRUE(s->context.save());
    EXPECT_NE(fresh->objectID(), deletedID);
}

TEST_P(FileStore, DamagedFilesAreRefusedAndLeftUntouched)
{
    static const char kNote[] = "This is a note, not a store.\n\x00\x01\x02 bplist00 SQLite format 3";
    const QByteArray garbage(kNote, sizeof kNote - 1);
    writeFile(path(), garbage);
    auto s = openStack(GetParam(), path());
    EXPECT_FALSE(s->store);
    EXPECT_FALSE(s->error.isEmpty());
    EXPECT_TRUE(s->coordinator->persistentStores().empty());
    EXPECT_EQ(fileBytes(path()), garbage);

    // A real store cut in half.
    const QString cut = path(QStringLiteral("cut.store"));
    {
        auto w = openStack(GetParam(), cut);
        ASSERT_TRUE(w->store) << w->error.toStdString();
        for (int i = 0; i < 200; ++i) {
            auto b = w->context.insertNewObject(QStringLiteral("Book"));
            ASSERT_TRUE(b->setValue(QStringLiteral("title"), QStringLiteral("Title %1").arg(i).repeated(20)));
        }
        ASSERT_TRUE(w->context.save());
    }
    const QByteArray whole = fileBytes(cut);
    writeFile(cut, whole.left(whole.size() / 2));
    auto r = openStack(GetParam(), cut);
    EXPECT_FALSE(r->store) << "a half store opened";
    EXPECT_EQ(fileBytes(cut), whole.left(whole.size() / 2));
}

TEST_P(FileStore, AFileOfAnotherStoreTypeIsRefused)
{
    {
        auto s = openStack(GetParam(), path());
        ASSERT_TRUE(s->store) << s->error.toStdString();
        auto b = s->context.insertNewObject(QStringLiteral("Book"));
        ASSERT_TRUE(b->setValue(QStringLiteral("title"), QStringLiteral("Mine")));
        ASSERT_TRUE(s->context.save());
    }
    const QByteArray before = fileBytes(path());
    for (const QString& other : {kSQLiteStoreType, kXMLStoreType, kBinaryStoreType}) {
        if (other == GetParam())
            continue;
        auto s = openStack(other, path());
        EXPECT_FALSE(s->store) << GetParam().toStdString() << " opened as " << other.toStdString();
    }
    EXPECT_EQ(fileBytes(path()), before);
}

INSTANTIATE_TEST_SUITE_P(StoreTypes, FileStore,
                         ::testing::Values(kSQLiteStoreType, kXMLStoreType, kBinaryStoreType),
                         [](const auto& info) { return info.param.toStdString(); });

TEST(InMemoryStore, KeepsSavedObjectsForEveryContextOfTheCoordinatorButWritesNothing)
{
    const QString where = qn::test::homeDir() + QStringLiteral("/memory.store");
    auto s = openStack(kInMemoryStoreType, where);
    ASSERT_TRUE(s->store) << s->error.toStdString();
    auto a = s->context.insertNewObject(QStringLiteral("Author"));
    ASSERT_TRUE(a->setValue(QStringLiteral("name"), QStringLiteral("Grace")));
    ASSERT_TRUE(s->context.save());
    EXPECT_FALSE(QFile::exists(where));

    ManagedObjectContext other;
    other.setPersistentStoreCoordinator(s->coordinator);
    const auto authors = other.fetch(QStringLiteral("Author"));
    ASSERT_EQ(authors.size(), 1u);
    EXPECT_EQ(authors[0]->value(QStringLiteral("name")).toString(), QStringLiteral("Grace"));
    EXPECT_NE(authors[0], a);  // each context has its own copy
}

TEST(PersistentStoreCoordinator, RefusesUnknownTypesConfigurationsRemoteURLsAndDuplicates)
{
    auto c = std::make_shared<PersistentStoreCoordinator>(libraryModel());
    const QUrl file = QUrl::fromLocalFile(qn::test::homeDir() + QStringLiteral("/dup.sqlite"));
    QString error;
    EXPECT_FALSE(c->addPersistentStore(QStringLiteral("CSV"), QString(), file, {}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(c->addPersistentStore(kSQLiteStoreType, QStringLiteral("Main"), file));
    EXPECT_FALSE(c->addPersistentStore(kXMLStoreType, QString(), QUrl(QStringLiteral("http://127.0.0.1/x"))));
    EXPECT_FALSE(c->addPersistentStore(kXMLStoreType, QString(), QUrl()));
    ASSERT_TRUE(c->addPersistentStore(kSQLiteStoreType, QString(), file));
    EXPECT_FALSE(c->addPersistentStore(kSQLiteStoreType, QString(), file));
    EXPECT_EQ(c->persistentStores().size(), 1u);
}
