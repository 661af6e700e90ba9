// SPDX-License-Identifier: MIT
#include "plist/KeyedArchive.h"
#include "plist/PropertyList.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace qn;
using plist::KeyedArchive;

namespace {

QVariant uid(quint64 v)
{
    return QVariant::fromValue(plist::Uid{v});
}

// A binary keyed archive made by hand from its top and its objects.
QByteArray handMadeArchive(const QVariantMap& top, const QVariantList& objects)
{
    return plist::write(QVariantMap{{"$archiver", QStringLiteral("NSKeyedArchiver")},
                                    {"$version", 100000},
                                    {"$top", top},
                                    {"$objects", objects}},
                        plist::Format::Binary);
}

}  // namespace

TEST(KeyedArchive, LayoutIsNSKeyedArchiver)
{
    const QByteArray bytes = KeyedArchive::archiveRootDictionary(
        {{"FileName", QStringLiteral("a.txt")}, {"FileData", QByteArray("xyz")}});
    ASSERT_TRUE(bytes.startsWith("bplist00"));
    auto v = plist::read(bytes);
    ASSERT_TRUE(v);
    const QVariantMap m = v->toMap();
    EXPECT_EQ(m.value("$archiver").toString(), "NSKeyedArchiver");
    EXPECT_EQ(m.value("$version").toLongLong(), 100000);
    const QVariantList objects = m.value("$objects").toList();
    ASSERT_FALSE(objects.isEmpty());
    EXPECT_EQ(objects.first().toString(), "$null");
    const plist::Uid root = m.value("$top").toMap().value("root").value<plist::Uid>();
    ASSERT_LT(root.value, quint64(objects.size()));
    EXPECT_TRUE(objects.at(qsizetype(root.value)).toMap().contains("NS.keys"));
}

TEST(KeyedArchive, RoundTripOfStringsAndData)
{
    const QVariantMap in{{"a", QStringLiteral("one")}, {"b", QByteArray("\0\1\2", 3)}, {"empty", QString("")}};
    auto out = KeyedArchive::unarchiveRootDictionary(KeyedArchive::archiveRootDictionary(in));
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, in);
}

TEST(KeyedArchive, OtherValueTypesAreRefused)
{
    QString error;
    EXPECT_TRUE(KeyedArchive::archiveRootDictionary({{"n", 5}}, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(KeyedArchive, PythonReadsOurArchive)
{
    const QByteArray bytes = KeyedArchive::archiveRootDictionary(
        {{"FileName", QStringLiteral("x y.txt")}, {"FileData", QByteArray("DATA")}});
    const QString code = QStringLiteral(
        "import plistlib, sys\n"
        "a = plistlib.loads(sys.stdin.buffer.read())\n"
        "o = a['$objects']; r = o[a['$top']['root'].data]\n"
        "d = {o[k.data]: o[v.data] for k, v in zip(r['NS.keys'], r['NS.objects'])}\n"
        "assert o[r['$class'].data]['$classname'] == 'NSDictionary'\n"
        "assert d == {'FileName': 'x y.txt', 'FileData': b'DATA'}, d\n"
        "print('ok')\n");
    auto r = test::runProcess(test::systemPython(), {"-c", code}, 30000, {}, bytes);
    EXPECT_EQ(r.out.trimmed(), "ok") << r.err.constData();
}

TEST(KeyedArchive, BrokenArchivesAreRefused)
{
    auto archive = [](const QVariantList& objects, const QVariant& root) {
        return handMadeArchive({{"root", root}}, objects);
    };
    const QVariant cls = QVariantMap{{"$classname", QStringLiteral("NSDictionary")}};
    const auto U = uid;
    const QList<QByteArray> bad{
        plist::write(QVariantMap{{"a", 1}}, plist::Format::Binary),             // not an archive
        archive({QStringLiteral("$null")}, U(5)),                                // root out of range
        archive({QStringLiteral("$null"), QStringLiteral("s")}, U(1)),           // root not a dictionary
        archive({QStringLiteral("$null"), QVariantMap{{"NS.keys", QVariantList{U(9)}}, {"NS.objects", QVariantList{U(0)}}, {"$class", U(2)}}, cls}, U(1)),
        archive({QStringLiteral("$null"), QVariantMap{{"NS.keys", QVariantList{U(3)}}, {"NS.objects", QVariantList{}}, {"$class", U(2)}}, cls, QStringLiteral("k")}, U(1)),
        archive({QStringLiteral("$null"), QVariantMap{{"NS.keys", QVariantList{}}, {"NS.objects", QVariantList{}}, {"$class", U(2)}},
                 QVariantMap{{"$classname", QStringLiteral("NSArray")}}}, U(1)),
        QByteArray("garbage"),
    };
    for (const QByteArray& b : bad) {
        QString error;
        EXPECT_FALSE(KeyedArchive::unarchiveRootDictionary(b, &error));
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(KeyedArchive, ValuesEncodedByKeySitInTopAsThePlatformWritesThem)
{
    const QByteArray bytes = KeyedArchive::encodeValuesByKey(
        {{"QNCryptoSourceFilePath", QStringLiteral("/x y.txt")}, {"QNCryptoSourceData", QByteArray("DATA\0", 5)}});
    const QString code = QStringLiteral(
        "import plistlib, sys\n"
        "a = plistlib.loads(sys.stdin.buffer.read())\n"
        "assert a['$archiver'] == 'NSKeyedArchiver' and a['$version'] == 100000\n"
        "o = a['$objects']; assert o[0] == '$null'\n"
        "d = {k: o[v.data] for k, v in a['$top'].items()}\n"
        "assert d == {'QNCryptoSourceFilePath': '/x y.txt', 'QNCryptoSourceData': b'DATA\\0'}, d\n"
        "print('ok')\n");
    auto r = test::runProcess(test::systemPython(), {"-c", code}, 30000, {}, bytes);
    EXPECT_EQ(r.out.trimmed(), "ok") << r.err.constData();
    QString error;
    EXPECT_TRUE(KeyedArchive::encodeValuesByKey({{"n", 5}}, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(KeyedArchive, DecodesArchivesMadeByPythonInBothLayouts)
{
    // "top": keys in $top, as the platform's archiver writes encoded values
    // (here with a value shared by two keys); "root": our older layout.
    const QString code = QStringLiteral(
        "import plistlib, sys\n"
        "U = plistlib.UID\n"
        "if sys.argv[1] == 'top':\n"
        "    objs = ['$null', 'f.txt', b'abc']\n"
        "    top = {'FileName': U(1), 'FileData': U(2), 'Again': U(1)}\n"
        "else:\n"
        "    objs = ['$null', {'NS.keys': [U(2), U(3), U(7)], 'NS.objects': [U(5), U(6), U(5)], '$class': U(4)},"
        " 'FileName', 'FileData', {'$classname': 'NSMutableDictionary', '$classes': ['NSMutableDictionary', 'NSDictionary', 'NSObject']},"
        " 'f.txt', b'abc', 'Again']\n"
        "    top = {'root': U(1)}\n"
        "a = {'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': top, '$objects': objs}\n"
        "sys.stdout.buffer.write(plistlib.dumps(a, fmt=plistlib.FMT_BINARY))\n");
    for (const char* layout : {"top", "root"}) {
        SCOPED_TRACE(layout);
        auto r = test::runProcess(test::systemPython(), {"-c", code, layout});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        auto out = KeyedArchive::decodeValuesByKey(r.out);
        ASSERT_TRUE(out);
        EXPECT_EQ(*out, (QVariantMap{{"FileName", QStringLiteral("f.txt")}, {"FileData", QByteArray("abc")},
                                     {"Again", QStringLiteral("f.txt")}}));
    }
}

TEST(KeyedArchive, BrokenTopEntriesAreRefused)
{
    const auto U = uid;
    auto archive = [](const QVariantMap& top) {
        return handMadeArchive(top, {QStringLiteral("$null"), QStringLiteral("s"), QVariantMap{{"x", 1}}});
    };
    const QList<QByteArray> bad{
        archive({{"k", U(7)}}),                  // out of range
        archive({{"k", U(0)}}),                  // $null
        archive({{"k", QStringLiteral("s")}}),   // not a reference
        archive({{"k", U(2)}}),                  // not a plain value
    };
    for (const QByteArray& b : bad) {
        QString error;
        EXPECT_FALSE(KeyedArchive::decodeValuesByKey(b, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(KeyedArchive::decodeValuesByKey(archive({{"k", U(1)}})));
}
