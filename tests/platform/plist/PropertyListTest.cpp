// SPDX-License-Identifier: MIT
#include "plist/PropertyList.h"

#include "TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QPoint>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace qn;

namespace {

QVariantMap sampleDictionary()
{
    return QVariantMap{
        {"string", QStringLiteral("héllo & <world>")},
        {"true", true},
        {"false", false},
        {"int", qint64(42)},
        {"negative", qint64(-7)},
        {"min", qint64(std::numeric_limits<qint64>::min())},
        {"bigUnsigned", quint64(18446744073709551615ULL)},
        {"real", 3.25},
        {"data", QByteArray("\x00\x01\xff", 3)},
        {"date", QDateTime(QDate(2024, 2, 29), QTime(12, 30, 15), Qt::UTC)},
        {"array", QVariantList{qint64(1), QStringLiteral("two"), QVariantMap{{"three", 3.0}}}},
        {"emptyDict", QVariantMap{}},
        {"emptyArray", QVariantList{}},
    };
}

// Runs a Python snippet (with plistlib) and returns its standard output.
QByteArray python(const QString& code, const QByteArray& input = {})
{
    auto r = test::runProcess(test::systemPython(), {"-c", code}, 30000, {}, input);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return r.out;
}

}  // namespace

class PropertyListRoundTrip : public ::testing::TestWithParam<plist::Format> {};

TEST_P(PropertyListRoundTrip, EveryTypeSurvives)
{
    const QVariantMap in = sampleDictionary();
    QString error;
    const QByteArray bytes = plist::write(in, GetParam(), &error);
    ASSERT_FALSE(bytes.isEmpty()) << error.toStdString();
    auto out = plist::read(bytes, &error);
    ASSERT_TRUE(out) << error.toStdString();
    const QVariantMap m = out->toMap();
    EXPECT_EQ(m.value("string").toString(), in.value("string").toString());
    EXPECT_EQ(m.value("true").metaType().id(), QMetaType::Bool);
    EXPECT_TRUE(m.value("true").toBool());
    EXPECT_FALSE(m.value("false").toBool());
    EXPECT_EQ(m.value("int").toLongLong(), 42);
    EXPECT_EQ(m.value("negative").toLongLong(), -7);
    EXPECT_EQ(m.value("min").toLongLong(), std::numeric_limits<qint64>::min());
    EXPECT_EQ(m.value("bigUnsigned").metaType().id(), QMetaType::ULongLong);
    EXPECT_EQ(m.value("bigUnsigned").toULongLong(), 18446744073709551615ULL);
    EXPECT_DOUBLE_EQ(m.value("real").toDouble(), 3.25);
    EXPECT_EQ(m.value("data").toByteArray(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(m.value("date").toDateTime(), in.value("date").toDateTime());
    const QVariantList arr = m.value("array").toList();
    ASSERT_EQ(arr.size(), 3);
    EXPECT_EQ(arr.at(1).toString(), "two");
    EXPECT_DOUBLE_EQ(arr.at(2).toMap().value("three").toDouble(), 3.0);
    EXPECT_TRUE(m.value("emptyDict").toMap().isEmpty());
    EXPECT_EQ(m.value("emptyArray").metaType().id(), QMetaType::QVariantList);
}

TEST_P(PropertyListRoundTrip, UidsSurviveBinaryOnly)
{
    const QVariantList in{QVariant::fromValue(plist::Uid{5})};
    auto out = plist::read(plist::write(in, plist::Format::Binary));
    ASSERT_TRUE(out);
    ASSERT_EQ(out->toList().size(), 1);
    EXPECT_EQ(out->toList().at(0).value<plist::Uid>().value, 5u);
}

INSTANTIATE_TEST_SUITE_P(Formats, PropertyListRoundTrip, ::testing::Values(plist::Format::Xml, plist::Format::Binary));

TEST(PropertyList, ReadsWhatPythonWrites)
{
    for (const char* fmt : {"FMT_XML", "FMT_BINARY"}) {
        const QByteArray bytes = python(QStringLiteral(
            "import plistlib, sys, datetime\n"
            "v = {'s': 'x\u00e9', 'i': -5, 'u': 2**64-1, 'r': 1.5, 'b': True, 'd': b'\\x00ab',"
            " 't': datetime.datetime(2001, 1, 1, 0, 0, 1), 'a': [1, {'k': 'v'}]}\n"
            "if '%1' == 'FMT_BINARY': v['uid'] = plistlib.UID(7)\n"
            "sys.stdout.buffer.write(plistlib.dumps(v, fmt=plistlib.%1))\n").arg(QLatin1String(fmt)));
        QString error;
        auto v = plist::read(bytes, &error);
        ASSERT_TRUE(v) << fmt << error.toStdString();
        const QVariantMap m = v->toMap();
        EXPECT_EQ(m.value("s").toString(), QString::fromUtf8("x\xc3\xa9")) << fmt;
        EXPECT_EQ(m.value("i").toLongLong(), -5) << fmt;
        EXPECT_EQ(m.value("u").toULongLong(), 18446744073709551615ULL) << fmt;
        EXPECT_DOUBLE_EQ(m.value("r").toDouble(), 1.5) << fmt;
        EXPECT_TRUE(m.value("b").toBool()) << fmt;
        EXPECT_EQ(m.value("d").toByteArray(), QByteArray("\0ab", 3)) << fmt;
        EXPECT_EQ(m.value("t").toDateTime().toSecsSinceEpoch(), 978307201) << fmt;
        EXPECT_EQ(m.value("a").toList().at(1).toMap().value("k").toString(), "v") << fmt;
        if (QByteArray(fmt) == "FMT_BINARY") {
            EXPECT_EQ(m.value("uid").value<plist::Uid>().value, 7u);
        }
    }
}

TEST(PropertyList, PythonReadsWhatWeWrite)
{
    QVariantMap in = sampleDictionary();
    in.insert("uid", QVariant::fromValue(plist::Uid{9}));
    const QString check = QStringLiteral(
        "import plistlib, sys, datetime\n"
        "v = plistlib.loads(sys.stdin.buffer.read())\n"
        "assert v['string'] == 'h\u00e9llo & <world>', v['string']\n"
        "assert v['int'] == 42 and v['negative'] == -7 and v['min'] == -2**63\n"
        "assert v['bigUnsigned'] == 2**64-1, v['bigUnsigned']\n"
        "assert v['real'] == 3.25 and v['true'] is True and v['false'] is False\n"
        "assert v['data'] == b'\\x00\\x01\\xff'\n"
        "assert v['date'] == datetime.datetime(2024, 2, 29, 12, 30, 15), v['date']\n"
        "assert v['array'][2]['three'] == 3.0\n"
        "assert v['uid'] == plistlib.UID(9)\n"
        "print('ok')\n");
    EXPECT_EQ(python(check, plist::write(in, plist::Format::Binary)).trimmed(), "ok");
    in.remove("uid");  // UIDs have no XML form that plistlib reads back as UID
    EXPECT_EQ(python(QString(check).replace("assert v['uid'] == plistlib.UID(9)\n", ""),
                     plist::write(in, plist::Format::Xml))
                  .trimmed(),
              "ok");
}

TEST(PropertyList, MalformedInputIsAnErrorNotACrash)
{
    const QByteArray good = plist::write(sampleDictionary(), plist::Format::Binary);
    const QByteArray goodXml = plist::write(sampleDictionary(), plist::Format::Xml);
    QList<QByteArray> bad{
        QByteArray(),
        QByteArray("not a plist at all"),
        QByteArray("bplist00"),
        QByteArray("bplist00\xff\xff\xff\xff\xff\xff\xff\xff", 16),
        good.left(good.size() / 2),
        good.left(good.size() - 1),
        goodXml.left(goodXml.size() / 2),
        QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a</key></dict></plist>"),
        QByteArray("<plist version=\"1.0\"><integer>12x</integer>"),
        QByteArray("<plist>\0</plist>", 16),
    };
    // Flip every byte of the binary trailer and object table in turn.
    for (qsizetype i = good.size() - 40; i < good.size(); ++i) {
        QByteArray b = good;
        b[i] = char(b[i] ^ 0x5a);
        bad.append(b);
    }
    int errors = 0;
    for (const QByteArray& b : bad) {
        QString error;
        auto v = plist::read(b, &error);
        if (!v) {
            ++errors;
            EXPECT_FALSE(error.isEmpty());
        }
    }
    // The first ten are malformed by construction; flipped bytes may still parse.
    EXPECT_GE(errors, 10);
}

TEST(PropertyList, UnsupportedTypeIsRefusedOnWrite)
{
    QString error;
    EXPECT_TRUE(plist::write(QVariantMap{{"p", QVariant::fromValue(QPoint(1, 2))}}, plist::Format::Xml, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(plist::write(QVariant(), plist::Format::Binary).isEmpty());
}

TEST(PropertyList, ReadFileReportsMissingFile)
{
    QString error;
    EXPECT_FALSE(plist::readFile(test::homeDir() + "/nope.plist", &error));
    EXPECT_TRUE(error.contains("nope.plist"));
}

TEST(PropertyList, StringsWithNulAreRefusedNotFatal)
{
    for (const char* name : {"plist/fuzz-nul-in-string.bplist", "plist/nul-in-key.bplist", "plist/nul-utf16.bplist"}) {
        QString error;
        EXPECT_FALSE(plist::readFile(test::dataPath(name), &error)) << name;
        EXPECT_TRUE(error.contains("NUL")) << name << " " << error.toStdString();
    }
    for (const char* xml : {"<plist><string>a&#0;b</string></plist>", "<plist><string>&#x00;</string></plist>"}) {
        QString error;
        EXPECT_FALSE(plist::read(QByteArray(xml), &error)) << xml;
    }
    // An ordinary character reference still works.
    auto v = plist::read(QByteArray("<plist version=\"1.0\"><string>&#65;&#x42;</string></plist>"));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->toString(), "AB");
}
