// SPDX-License-Identifier: MIT
#include "PersistenceTestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QUuid>

using namespace qn::persistence;
using namespace qn::persistence::test;

namespace {

QByteArray modelXml(const QByteArray& entities)
{
    return "<?xml version=\"1.0\"?><model>" + entities + "</model>";
}

}  // namespace

TEST(ManagedObjectModel, ReadsEntitiesAttributeTypesAndDefaults)
{
    auto model = libraryModel();
    ASSERT_TRUE(model);
    ASSERT_EQ(model->entities().size(), 2u);
    const EntityDescription* book = model->entity(QStringLiteral("Book"));
    ASSERT_TRUE(book);
    EXPECT_EQ(book->attributes.size(), 10u);  // the relationship is not an attribute
    EXPECT_FALSE(book->attribute(QStringLiteral("author")));
    const AttributeDescription* pages = book->attribute(QStringLiteral("pages"));
    ASSERT_TRUE(pages);
    EXPECT_EQ(pages->type, AttributeType::Integer32);
    EXPECT_TRUE(pages->optional);
    EXPECT_EQ(pages->defaultValue, QVariant(qint64(0)));
    EXPECT_EQ(book->attribute(QStringLiteral("inPrint"))->defaultValue, QVariant(true));
    EXPECT_FALSE(book->attribute(QStringLiteral("title"))->optional);
    EXPECT_TRUE(book->attribute(QStringLiteral("published"))->defaultValue.isNull());
    EXPECT_EQ(model->entity(QStringLiteral("Author"))->attribute(QStringLiteral("born"))->type,
              AttributeType::Integer16);
    EXPECT_FALSE(model->entity(QStringLiteral("Publisher")));
}

TEST(ManagedObjectModel, OpensTheContentsFileAndAVersionedBundle)
{
    EXPECT_TRUE(ManagedObjectModel::fromFile(libraryModelPath() + QStringLiteral("/contents")));

    QTemporaryDir dir(qn::test::homeDir() + QStringLiteral("/modelXXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString bundle = dir.filePath(QStringLiteral("Library.xcdatamodeld"));
    ASSERT_TRUE(QDir().mkpath(bundle + QStringLiteral("/Library 2.xcdatamodel")));
    ASSERT_TRUE(QDir().mkpath(bundle + QStringLiteral("/Library.xcdatamodel")));
    writeFile(bundle + QStringLiteral("/Library 2.xcdatamodel/contents"),
              fileBytes(libraryModelPath() + QStringLiteral("/contents")));
    writeFile(bundle + QStringLiteral("/Library.xcdatamodel/contents"),
              modelXml("<entity name=\"Old\"><attribute name=\"x\" attributeType=\"String\"/></entity>"));
    writeFile(bundle + QStringLiteral("/.xccurrentversion"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
              "<key>_XCCurrentVersionName</key><string>Library 2.xcdatamodel</string></dict></plist>");
    QString error;
    auto model = ManagedObjectModel::fromFile(bundle, &error);
    ASSERT_TRUE(model) << error.toStdString();
    EXPECT_TRUE(model->entity(QStringLiteral("Book")));
    EXPECT_FALSE(model->entity(QStringLiteral("Old")));
}

TEST(ManagedObjectModel, RefusesBrokenModelsWithAReason)
{
    const QByteArray cases[] = {
        "not xml at all",
        "<?xml version=\"1.0\"?><plist/>",
        modelXml(""),
        modelXml("<entity name=\"A\"><attribute name=\"x\" attributeType=\"Transformable\"/></entity>"),
        modelXml("<entity name=\"A\"><attribute name=\"x\" attributeType=\"String\"/>"
                 "<attribute name=\"x\" attributeType=\"String\"/></entity>"),
        modelXml("<entity name=\"A\"/><entity name=\"A\"/>"),
        modelXml("<entity name=\"Z_PK\"/>"),
        modelXml("<entity name=\"A b\"/>"),
        modelXml("<entity name=\"A\"><attribute name=\"x&quot;; DROP\" attributeType=\"String\"/></entity>"),
        modelXml("<entity name=\"A\"><attribute name=\"n\" attributeType=\"Integer 16\" defaultValueString=\"70000\"/></entity>"),
        modelXml("<entity name=\"A\"><attribute name=\"n\" attributeType=\"String\"></entity>"),
    };
    for (const QByteArray& xml : cases) {
        QString error;
        EXPECT_FALSE(ManagedObjectModel::fromXml(xml, &error)) << xml.toStdString();
        EXPECT_FALSE(error.isEmpty()) << xml.toStdString();
    }
    QString error;
    EXPECT_FALSE(ManagedObjectModel::fromFile(qn::test::homeDir() + QStringLiteral("/missing.xcdatamodel"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ManagedObjectModel, ValuesAreCheckedAgainstTheAttributeType)
{
    auto a = [](AttributeType t) {
        AttributeDescription d;
        d.type = t;
        return d;
    };
    EXPECT_EQ(a(AttributeType::Integer16).coerce(QStringLiteral(" 123 ")), QVariant(qint64(123)));
    EXPECT_FALSE(a(AttributeType::Integer16).coerce(40000));
    EXPECT_FALSE(a(AttributeType::Integer32).coerce(qint64(1) << 31));
    EXPECT_TRUE(a(AttributeType::Integer64).coerce(qint64(1) << 62));
    EXPECT_FALSE(a(AttributeType::Integer32).coerce(2.5));
    EXPECT_FALSE(a(AttributeType::Integer32).coerce(true));
    EXPECT_FALSE(a(AttributeType::Integer32).coerce(QStringLiteral("12abc")));
    EXPECT_EQ(a(AttributeType::Boolean).coerce(QStringLiteral("NO")), QVariant(false));
    EXPECT_FALSE(a(AttributeType::Boolean).coerce(QStringLiteral("maybe")));
    EXPECT_FALSE(a(AttributeType::Binary).coerce(QStringLiteral("text")));
    EXPECT_FALSE(a(AttributeType::Double).coerce(QStringLiteral("fast")));
    EXPECT_FALSE(a(AttributeType::UUID).coerce(QStringLiteral("not-a-uuid")));
    const auto date = a(AttributeType::Date).coerce(QStringLiteral("2001-01-01T00:00:00Z"));
    ASSERT_TRUE(date);
    EXPECT_EQ(date->toDateTime().toSecsSinceEpoch(), 978307200);
    EXPECT_TRUE(a(AttributeType::String).coerce(QVariant())->isNull());
}
