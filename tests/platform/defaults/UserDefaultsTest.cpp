// SPDX-License-Identifier: MIT
#include "defaults/UserDefaults.h"
#include "plist/PropertyList.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QPoint>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace qn;

namespace {

void writeRaw(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readRaw(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(UserDefaults, PathFollowsXdgConfigHome)
{
    EXPECT_EQ(UserDefaults::pathForDomain("com.qnlab.X"), test::homeDir() + "/.config/qnlab/com.qnlab.X.plist");
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserDefaults::pathForDomain("d"), test::homeDir() + "/.config/qnlab/d.plist");
    qputenv("XDG_CONFIG_HOME", "relative/is/ignored");
    EXPECT_EQ(UserDefaults::pathForDomain("d"), test::homeDir() + "/.config/qnlab/d.plist");
    qputenv("XDG_CONFIG_HOME", saved);
}

TEST(UserDefaults, TypedReadsAndRegisteredFallbacks)
{
    UserDefaults d("com.qnlab.typed");
    d.registerDefaults({{"autoCloseTray", true}, {"timeIntervalUntilCloseTray", 10}});
    EXPECT_TRUE(d.boolForKey("autoCloseTray"));
    EXPECT_EQ(d.integerForKey("timeIntervalUntilCloseTray"), 10);
    EXPECT_FALSE(QFileInfo::exists(d.path())) << "reading must not create the file";

    ASSERT_TRUE(d.setObject(false, "autoCloseTray"));
    ASSERT_TRUE(d.setObject(2.75, "ratio"));
    ASSERT_TRUE(d.setObject(QStringLiteral("text"), "name"));
    ASSERT_TRUE(d.setObject(QVariantList{1, 2}, "list"));
    ASSERT_TRUE(d.setObject(QVariantMap{{"k", QStringLiteral("v")}}, "dict"));
    EXPECT_FALSE(d.boolForKey("autoCloseTray"));
    EXPECT_EQ(d.integerForKey("timeIntervalUntilCloseTray"), 10);
    EXPECT_DOUBLE_EQ(d.doubleForKey("ratio"), 2.75);
    EXPECT_FLOAT_EQ(d.floatForKey("ratio"), 2.75f);
    EXPECT_EQ(d.integerForKey("ratio"), 2);
    EXPECT_EQ(d.stringForKey("name"), "text");
    EXPECT_EQ(d.arrayForKey("list").size(), 2);
    EXPECT_EQ(d.objectForKey("dict").toMap().value("k").toString(), "v");
    EXPECT_TRUE(d.arrayForKey("name").isEmpty());
    EXPECT_FALSE(d.objectForKey("absent").isValid());
    EXPECT_EQ(d.integerForKey("absent"), 0);

    ASSERT_TRUE(d.removeObject("autoCloseTray"));
    EXPECT_TRUE(d.boolForKey("autoCloseTray")) << "the fallback answers again";
}

TEST(UserDefaults, ReadsSeeAnotherWritersFile)
{
    UserDefaults reader("com.qnlab.shared");
    UserDefaults writer("com.qnlab.shared");
    writer.setObject(qint64(1), "n");
    EXPECT_EQ(reader.integerForKey("n"), 1);
    writer.setObject(qint64(2), "n");
    EXPECT_EQ(reader.integerForKey("n"), 2);
    // A rewrite by something that is not UserDefaults at all.
    writeRaw(reader.path(), plist::write(QVariantMap{{"n", 3}}, plist::Format::Binary));
    EXPECT_EQ(reader.integerForKey("n"), 3);
}

TEST(UserDefaults, BadFilesAreMovedAsideAndReadAsEmpty)
{
    const QList<QByteArray> bad{
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><integer>1"),  // truncated
        QByteArray("\x00\x13\x37garbage\xff", 11),                                                 // binary garbage
        plist::write(QVariantList{1, 2, 3}, plist::Format::Xml),                                   // wrong root type
        QByteArray(),                                                                             // empty
    };
    for (const QByteArray& bytes : bad) {
        UserDefaults d("com.qnlab.bad");
        d.registerDefaults({{"fallback", 5}});
        writeRaw(d.path(), bytes);
        EXPECT_TRUE(d.persistentDomain().isEmpty());
        EXPECT_EQ(d.integerForKey("fallback"), 5);
        EXPECT_FALSE(d.objectForKey("a").isValid());
        EXPECT_FALSE(QFileInfo::exists(d.path()));
        EXPECT_EQ(readRaw(d.path() + ".damaged"), bytes) << "the user's file is kept, byte for byte";
        ASSERT_TRUE(d.setObject(qint64(7), "a"));
        EXPECT_EQ(d.integerForKey("a"), 7);
        EXPECT_EQ(readRaw(d.path() + ".damaged"), bytes) << "a write never touches the kept file";
    }
}

TEST(UserDefaults, SettingTheStoredValueAgainDoesNotRewriteTheFile)
{
    UserDefaults d("com.qnlab.same");
    ASSERT_TRUE(d.setBool(true, "flag"));
    ASSERT_TRUE(d.setObject(qint64(1), "n"));
    // A second name for the file as it is now: an atomic rewrite puts a new
    // file under the first name and leaves this one alone with one link.
    const QByteArray keep = QFile::encodeName(d.path() + ".keep");
    auto stillTheSameFile = [&] {
        struct stat st{};
        return ::stat(keep.constData(), &st) == 0 && st.st_nlink == 2;
    };
    auto relink = [&] {
        ::unlink(keep.constData());
        ASSERT_EQ(::link(QFile::encodeName(d.path()).constData(), keep.constData()), 0);
    };
    relink();
    EXPECT_TRUE(d.setBool(true, "flag"));
    EXPECT_TRUE(d.setObject(qint64(1), "n"));
    EXPECT_TRUE(stillTheSameFile());
    // The same value with another type, or another value, is written.
    EXPECT_TRUE(d.setBool(true, "n"));
    EXPECT_FALSE(stillTheSameFile());
    EXPECT_EQ(plist::read(readRaw(d.path()))->toMap().value("n").metaType(), QMetaType::fromType<bool>());
    relink();
    EXPECT_TRUE(d.setBool(false, "flag"));
    EXPECT_FALSE(stillTheSameFile());
    EXPECT_FALSE(d.boolForKey("flag"));
    ::unlink(keep.constData());
}

TEST(UserDefaults, UnwritableValueLeavesTheFileAlone)
{
    UserDefaults d("com.qnlab.keep");
    ASSERT_TRUE(d.setObject(qint64(1), "n"));
    const QByteArray before = readRaw(d.path());
    EXPECT_FALSE(d.setObject(QVariant::fromValue(QPoint(1, 1)), "p"));
    EXPECT_EQ(readRaw(d.path()), before);
}

TEST(UserDefaults, ReadersNeverSeeHalfAFileWhenTheWriterIsKilled)
{
    const QString writerPath = test::testBinDir() + "/qn_test_defaults_writer";
    ASSERT_TRUE(QFileInfo::exists(writerPath));
    UserDefaults reader("com.qnlab.atomic");
    int reads = 0;
    int complete = 0;
    auto* rng = QRandomGenerator::global();
    {
        // One whole version on disk first, so every round has something to read
        // however slowly the writer runs on a loaded machine.
        QProcess writer;
        writer.start(writerPath, {"com.qnlab.atomic"});
        ASSERT_TRUE(writer.waitForStarted(60000));
        ASSERT_TRUE(test::waitUntil([&] { return QFileInfo::exists(reader.path()); }, 60000));
        ::kill(pid_t(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished(60000));
    }
    for (int round = 0; round < 200; ++round) {
        QProcess writer;
        writer.start(writerPath, {"com.qnlab.atomic"});
        ASSERT_TRUE(writer.waitForStarted(60000));
        ASSERT_TRUE(writer.waitForReadyRead(60000));
        // Let it write for a random while, reading all the time.
        const int ms = int(rng->bounded(1, 15));
        QElapsedTimer t;
        t.start();
        do {
            const QVariantMap m = reader.persistentDomain();
            ++reads;
            if (!m.isEmpty()) {
                ASSERT_EQ(m.size(), 2001) << "a reader saw a partial dictionary";
                const QString marker = m.value("marker").toString();
                ASSERT_TRUE(marker == "A" || marker == "B");
                ASSERT_EQ(m.value("key1999").toString(), marker.repeated(40)) << "mixed versions";
                ++complete;
            }
        } while (t.elapsed() < ms);
        ::kill(pid_t(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished(60000));
        // After the kill the file is one whole version.
        auto v = plist::readFile(reader.path());
        if (QFileInfo::exists(reader.path())) {
            ASSERT_TRUE(v) << "killed writer left a broken file";
            ASSERT_EQ(v->toMap().size(), 2001);
        }
    }
    EXPECT_GT(complete, 0);
    RecordProperty("reads", reads);
    // Leftover temporary files of killed writers are the only debris allowed.
    const QStringList names = QDir(QFileInfo(reader.path()).absolutePath()).entryList(QDir::Files);
    EXPECT_TRUE(names.contains("com.qnlab.atomic.plist"));
}

// qn-defaults takes the domain from the command line: it names one file in
// the preferences folder and never a path out of it.
TEST(UserDefaults, ToolRefusesADomainThatIsNotAPlainName)
{
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    const QString tool = test::stageDir() + "/bin/qn-defaults";
    const QStringList env = {"XDG_CONFIG_HOME=" + config.path() + "/config"};
    for (const char* domain : {"../escaped", "a/b", "..", ".", ".hidden", ""}) {
        const auto r = test::runProcess(tool, {"write", domain, "k", "-int", "1"}, 30000, env);
        EXPECT_EQ(r.exitCode, 2) << domain << ": " << r.err.constData();
        EXPECT_TRUE(r.err.contains("is not a domain name")) << domain << ": " << r.err.constData();
    }
    EXPECT_FALSE(QDir(config.filePath("config")).exists()) << "something was written";

    const auto ok = test::runProcess(tool, {"write", "com.example.Plain", "k", "-int", "7"}, 30000, env);
    EXPECT_EQ(ok.exitCode, 0) << ok.err.constData();
    EXPECT_TRUE(QFile::exists(config.filePath("config/qnlab/com.example.Plain.plist")));
}
