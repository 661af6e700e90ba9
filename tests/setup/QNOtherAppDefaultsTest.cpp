// SPDX-License-Identifier: MIT
// The store over another program's preference file.
#include "QNOtherAppDefaults.h"
#include "QNSetupWindowController.h"

#include "defaults/UserDefaults.h"
#include "plist/PropertyList.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString kDomain = QStringLiteral("com.qnlab.StoreTest");

QString path()
{
    return qn::UserDefaults::pathForDomain(kDomain);
}

QVariantMap onDisk()
{
    return qn::UserDefaults(kDomain).persistentDomain();
}

void writeRaw(const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path()).absolutePath());
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class QNOtherAppDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(path()); }
    void TearDown() override { QFile::remove(path()); }
};

}  // namespace

TEST_F(QNOtherAppDefaultsTest, EmptyIdentifierHasNoPathAndIgnoresWrites)
{
    QNOtherAppDefaults store;
    EXPECT_TRUE(store.preferencesFile().isEmpty());
    store.setIdentifier(QString());
    EXPECT_TRUE(store.preferencesFile().isEmpty());
    EXPECT_EQ(store.properties(), nullptr);
    store.setObjectForKey(true, "autoCloseTray");
    EXPECT_FALSE(store.objectForKey("autoCloseTray").isValid());
    EXPECT_FALSE(store.writeToFile());

    // An empty identifier after a real one keeps the loaded content but writes nothing.
    store.setIdentifier(kDomain);
    store.setObjectForKey(1, "a");
    store.setIdentifier(QString());
    store.setObjectForKey(2, "a");
    EXPECT_EQ(onDisk().value("a"), QVariant(1));
}

TEST_F(QNOtherAppDefaultsTest, FreshAccountStartsEmptyAndFirstWriteCreatesTheFile)
{
    QNOtherAppDefaults store;
    store.setIdentifier(kDomain);
    EXPECT_EQ(store.preferencesFile(), path());
    ASSERT_NE(store.properties(), nullptr);
    EXPECT_TRUE(store.properties()->isEmpty());
    EXPECT_FALSE(QFile::exists(path())) << "loading alone writes nothing";

    store.setObjectForKey(true, "autoCloseTray");
    EXPECT_EQ(onDisk(), (QVariantMap{{"autoCloseTray", true}}));
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("<?xml")) << "the file is written as XML";
}

TEST_F(QNOtherAppDefaultsTest, AgentDomainFileIsTheOneTheAgentReads)
{
    QNOtherAppDefaults store;
    store.setIdentifier(kQNAgentDomain);
    EXPECT_EQ(store.preferencesFile(), qn::UserDefaults::pathForDomain("com.qnlab.QNTraylift"));
    store.setObjectForKey(3, "targetDeviceIndex");
    EXPECT_EQ(qn::UserDefaults("com.qnlab.QNTraylift").integerForKey("targetDeviceIndex"), 3);
    QFile::remove(store.preferencesFile());
}

TEST_F(QNOtherAppDefaultsTest, NestedArrayChangedInPlaceIsWrittenByTheNextWrite)
{
    qn::UserDefaults(kDomain).setPersistentDomain(
        {{"deviceProperties", QVariantList{QVariantMap{{"vendorName", "V"}, {"productName", "P"}}}}});
    QNOtherAppDefaults store;
    store.setIdentifier(kDomain);
    QVariantList* records = store.mutableArrayForKey("deviceProperties");
    ASSERT_NE(records, nullptr);
    QVariantMap* first = QNOtherAppDefaults::mutableMap((*records)[0]);
    ASSERT_NE(first, nullptr);
    first->insert("slotLoading", true);
    records->append(QVariantMap{{"vendorName", "W"}});
    EXPECT_EQ(onDisk().value("deviceProperties").toList().size(), 1) << "nothing is written before writeToFile";

    EXPECT_TRUE(store.writeToFile());
    const QVariantList written = onDisk().value("deviceProperties").toList();
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(written[0].toMap().value("slotLoading"), QVariant(true));
    EXPECT_EQ(written[1].toMap().value("vendorName"), "W");
    EXPECT_EQ(store.mutableArrayForKey("missing"), nullptr);
    EXPECT_EQ(store.mutableArrayForKey("deviceProperties")->size(), 2);
}

TEST_F(QNOtherAppDefaultsTest, TopLevelArrayOrGarbageIsKeptAsideLoadsEmptyAndIsReplacedByADictionary)
{
    for (const QByteArray& bytes :
         {QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>"),
          QByteArray("this is not a property list")}) {
        writeRaw(bytes);
        QNOtherAppDefaults store;
        store.setIdentifier(kDomain);
        ASSERT_NE(store.properties(), nullptr);
        EXPECT_TRUE(store.properties()->isEmpty());
        store.setObjectForKey(10.0, "timeIntervalUntilCloseTray");
        EXPECT_EQ(onDisk(), (QVariantMap{{"timeIntervalUntilCloseTray", 10.0}}));
        QFile kept(path() + ".damaged");
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), bytes) << "the user's file is kept beside the new one";
        kept.remove();
    }
}

TEST_F(QNOtherAppDefaultsTest, BinaryFileIsReadAndRewrittenAsXml)
{
    const QByteArray binary =
        qn::plist::write(QVariantMap{{"autoCloseTray", false}, {"targetDeviceIndex", 2}}, qn::plist::Format::Binary);
    ASSERT_TRUE(binary.startsWith("bplist"));
    writeRaw(binary);
    QNOtherAppDefaults store;
    store.setIdentifier(kDomain);
    EXPECT_EQ(store.objectForKey("autoCloseTray"), QVariant(false));
    EXPECT_EQ(store.objectForKey("targetDeviceIndex").toInt(), 2);
    store.setObjectForKey(true, "isNotFirstTime");
    EXPECT_EQ(onDisk(), (QVariantMap{{"autoCloseTray", false}, {"targetDeviceIndex", 2}, {"isNotFirstTime", true}}));
}

TEST_F(QNOtherAppDefaultsTest, WritingNoValueRemovesTheKey)
{
    QNOtherAppDefaults store;
    store.setIdentifier(kDomain);
    store.setObjectForKey(5.0, "timeIntervalUntilCloseTray");
    store.setObjectForKey(true, "autoCloseTray");
    store.setValueForUndefinedKey(QVariant(), "timeIntervalUntilCloseTray");
    EXPECT_EQ(onDisk(), (QVariantMap{{"autoCloseTray", true}}));
    store.setValueForUndefinedKey(QVariant(), "neverSet");
    EXPECT_EQ(onDisk(), (QVariantMap{{"autoCloseTray", true}}));
}

TEST_F(QNOtherAppDefaultsTest, FailedWriteKeepsTheOldFileWholeAndTheChangeInMemory)
{
    QNOtherAppDefaults store;
    store.setIdentifier(kDomain);
    store.setObjectForKey(true, "autoCloseTray");
    const QByteArray oldBytes = [] {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(oldBytes.isEmpty());

    // A file-size limit makes the next write fail part-way, even for root.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    store.setObjectForKey(QString(400, QLatin1Char('x')), "padding");
    const bool written = store.writeToFile();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(store.objectForKey("padding").toString().size(), 400) << "the change stays in memory";
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), oldBytes) << "the old file stays whole";
    const QString folder = QFileInfo(path()).absolutePath();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).filter(kDomain).size(), 1) << "no temporary file left behind";

    EXPECT_TRUE(store.writeToFile());
    EXPECT_EQ(onDisk().value("padding").toString().size(), 400);
}

TEST_F(QNOtherAppDefaultsTest, SettingAnotherIdentifierReloadsFromItsFile)
{
    qn::UserDefaults(kDomain).setPersistentDomain({{"a", 1}});
    qn::UserDefaults(kDomain + ".other").setPersistentDomain({{"b", 2}});
    QNOtherAppDefaults store;
    store.setIdentifier(kDomain);
    store.properties()->insert("unsaved", 3);
    store.setIdentifier(kDomain);  // the same identifier again: nothing reloads
    EXPECT_EQ(store.objectForKey("unsaved"), QVariant(3));
    store.setIdentifier(kDomain + ".other");
    EXPECT_EQ(*store.properties(), (QVariantMap{{"b", 2}}));
    QFile::remove(qn::UserDefaults::pathForDomain(kDomain + ".other"));
}
