// SPDX-License-Identifier: MIT
// FTP uploads and directory listings against pyftpdlib.
#include "LoopbackServer.h"
#include "QNLowNetwork.h"
#include "QNProgressWindowController.h"
#include "TestSupport.h"
#include "TransferTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

using enum QNLowNetworkResult;

namespace {

QVariantMap credentials(QVariantMap extra = {})
{
    extra.insert(kQNLowNetworkUserName, "tester");
    extra.insert(kQNLowNetworkPassword, "secret");
    extra.insert(kQNLowNetworkPassiveModeOption, true);
    if (!extra.contains(kQNLowNetworkInBackgroundOption))
        extra.insert(kQNLowNetworkInBackgroundOption, true);
    return extra;
}

class FtpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ftp = new LoopbackServer(LoopbackServer::Kind::Ftp); }
    static void TearDownTestSuite()
    {
        delete ftp;
        ftp = nullptr;
    }
    void SetUp() override
    {
        if (!ftp->ok())
            GTEST_SKIP() << "pyftpdlib test server unavailable: " << ftp->error().toStdString();
        ASSERT_TRUE(local.isValid());
    }
    static QUrl url(const QString& path) { return QUrl(ftp->base() + path); }
    QString localPath(const QString& name) const { return local.filePath(name); }
    static QString remotePath(const QString& relative) { return ftp->root() + QLatin1Char('/') + relative; }

    static inline LoopbackServer* ftp = nullptr;
    QTemporaryDir local;
};

}  // namespace

TEST_F(FtpTest, UploadDeliversTheWholeFileAndLeavesTheSourceAlone)
{
    // Several engine buffers, so every read must start where the last one ended.
    const QByteArray content = patternBytes(3 * QNLowNetwork::kBufferSize + 999, 11);
    writeFile(localPath("big.bin"), content);
    QDir().mkpath(remotePath("up"));
    for (const bool passive : {true, false}) {
        const QString name = passive ? "passive.bin" : "active.bin";
        const qsizetype logBefore = ftp->log().size();
        EXPECT_EQ(uploadToEnd(url("/up/" + name), localPath("big.bin"),
                              credentials({{kQNLowNetworkPassiveModeOption, passive}})),
                  kQNLowNetworkSuccess);
        EXPECT_EQ(readFile(remotePath("up/" + name)), content);
        const QByteArray log = ftp->log().mid(logBefore);
        EXPECT_EQ(log.count("session opened"), 1) << "the name check and the upload share one login";
        EXPECT_TRUE(log.contains("LIST")) << log.toStdString();
        EXPECT_EQ(readFile(localPath("big.bin")), content);
    }
}

TEST_F(FtpTest, TakenNameCaseInsensitivelyFollowsTheOverwriteOption)
{
    ftp->put("taken/Data.TXT", "server copy");
    writeFile(localPath("data.txt"), "new data");
    QNLowNetwork engine;
    EXPECT_EQ(engine.uploadToURL(url("/taken/data.txt"), localPath("data.txt"), nullptr, credentials()),
              kQNLowNetworkFileExistsErr);
    EXPECT_EQ(engine.uploadToURL(url("/taken/data.txt"), localPath("data.txt"), nullptr,
                                 credentials({{kQNLowNetworkOverwriteOption, 0}})),
              kQNLowNetworkFileExistsErr);
    // Remote files are never deleted, so "write over" cannot be honoured.
    EXPECT_EQ(engine.uploadToURL(url("/taken/data.txt"), localPath("data.txt"), nullptr,
                                 credentials({{kQNLowNetworkOverwriteOption, 1}})),
              kQNLowNetworkIOErr);
    EXPECT_FALSE(engine.isBusy());
    EXPECT_EQ(readFile(remotePath("taken/Data.TXT")), QByteArray("server copy"));

    EXPECT_EQ(uploadToEnd(url("/taken/data.txt"), localPath("data.txt"), credentials({{kQNLowNetworkOverwriteOption, 2}})),
              kQNLowNetworkSuccess);
    EXPECT_EQ(readFile(remotePath("taken/data1.txt")), QByteArray("new data"));
    EXPECT_EQ(readFile(remotePath("taken/Data.TXT")), QByteArray("server copy"));
    EXPECT_EQ(readFile(localPath("data.txt")), QByteArray("new data"));
}

TEST_F(FtpTest, UploadIntoAnEmptyFolderAndOfAnEmptyFile)
{
    QDir().mkpath(remotePath("fresh"));
    writeFile(localPath("zero.bin"), "");
    writeFile(localPath("one.txt"), "one");
    QNLowNetwork engine;
    EXPECT_FALSE(engine.directoryContentsOfFTPURL(url("/fresh/"), credentials()).has_value())
        << "an empty folder lists as nothing";
    EXPECT_EQ(uploadToEnd(url("/fresh/one.txt"), localPath("one.txt"), credentials()), kQNLowNetworkSuccess);
    EXPECT_EQ(readFile(remotePath("fresh/one.txt")), QByteArray("one"));
    EXPECT_EQ(uploadToEnd(url("/fresh/zero.bin"), localPath("zero.bin"), credentials()), kQNLowNetworkSuccess);
    EXPECT_TRUE(QFileInfo::exists(remotePath("fresh/zero.bin")));
    EXPECT_EQ(QFileInfo(remotePath("fresh/zero.bin")).size(), 0);
}

TEST_F(FtpTest, RefusedUploadsAnswerAtOnce)
{
    writeFile(localPath("src.txt"), "source");
    auto engine = std::make_unique<QNLowNetwork>();
    Completions done(engine.get());
    EXPECT_EQ(engine->uploadToURL(url("/x.txt"), localPath("absent.txt"), nullptr, credentials()),
              kQNLowNetworkNotFoundErr);
    EXPECT_EQ(engine->uploadToURL(url("/x.txt"), local.path(), nullptr, credentials()), kQNLowNetworkIsDirectoryErr);
    EXPECT_EQ(engine->uploadToURL(QUrl("http://127.0.0.1:1/x.txt"), localPath("src.txt"), nullptr, credentials()),
              kQNLowNetworkIOErr);
    EXPECT_EQ(engine->uploadToURL(QUrl(), localPath("src.txt"), nullptr, credentials()), kQNLowNetworkParamErr);
    EXPECT_EQ(engine->uploadToURL(url("/x.txt"), QString(), nullptr, credentials()), kQNLowNetworkParamErr);
    EXPECT_EQ(engine->uploadToURL(url("/folder/"), localPath("src.txt"), nullptr, credentials()), kQNLowNetworkParamErr);
    EXPECT_FALSE(QFileInfo::exists(remotePath("x.txt")));

    // A file URL opens the progress window and closes it again.
    QWidget doc;
    doc.show();
    EXPECT_EQ(engine->uploadToURL(QUrl::fromLocalFile(localPath("copy.txt")), localPath("src.txt"), &doc, {}),
              kQNLowNetworkIOErr);
    EXPECT_EQ(engine->progressWindowController(), nullptr);
    EXPECT_TRUE(doc.findChildren<QNProgressWindowController*>().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(localPath("copy.txt")));
    engine.reset();  // waits for any worker: all it would post has been posted
    EXPECT_TRUE(done.codes().empty());
    EXPECT_EQ(readFile(localPath("src.txt")), QByteArray("source"));
}

TEST_F(FtpTest, FailedUploadKeepsTheSource)
{
    writeFile(localPath("keep.txt"), "precious");
    // The anonymous user may not write.
    EXPECT_EQ(uploadToEnd(url("/anon-denied.txt"), localPath("keep.txt"),
                          {{kQNLowNetworkInBackgroundOption, true}, {kQNLowNetworkPassiveModeOption, true}}),
              kQNLowNetworkIOErr);
    EXPECT_EQ(uploadToEnd(url("/no/such/folder/keep.txt"), localPath("keep.txt"), credentials()), kQNLowNetworkIOErr);
    EXPECT_EQ(readFile(localPath("keep.txt")), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo::exists(remotePath("anon-denied.txt")));
}

TEST_F(FtpTest, ListingGivesNamesTypesAndSizes)
{
    ftp->put("list/alpha.txt", "12345");
    ftp->put("list/with space.bin", QByteArray(70000, 'z'));
    ftp->put("list/sub/inner.txt", "i");
    QNLowNetwork engine;
    for (const char* path : {"/list/", "/list"}) {
        const auto contents = engine.directoryContentsOfFTPURL(url(path), credentials());
        ASSERT_TRUE(contents.has_value()) << path;
        QStringList got = namesOf(*contents);
        got.sort();
        EXPECT_EQ(got, (QStringList{"alpha.txt", "sub", "with space.bin"})) << path;
        for (const QVariant& r : *contents) {
            const QVariantMap record = r.toMap();
            const QString name = record.value(kQNLowNetworkDirectoryContentsKeyName).toString();
            EXPECT_EQ(record.value(kQNLowNetworkDirectoryContentsKeyIsDirectory).toBool(), name == "sub");
            if (name == "alpha.txt") {
                EXPECT_EQ(record.value(kQNLowNetworkDirectoryContentsKeyFileSize).toULongLong(), 5u);
            } else if (name == "with space.bin") {
                EXPECT_EQ(record.value(kQNLowNetworkDirectoryContentsKeyFileSize).toULongLong(), 70000u);
            } else {
                EXPECT_FALSE(record.contains(kQNLowNetworkDirectoryContentsKeyFileSize)) << "sizes only for files";
            }
        }
    }
    // Anonymous listing works too (no options at all).
    EXPECT_TRUE(engine.directoryContentsOfFTPURL(url("/list/")).has_value());
}

TEST_F(FtpTest, ListingAnswersNothingForFilesAndMissingFolders)
{
    ftp->put("plain.txt", "not a folder");
    QNLowNetwork engine;
    EXPECT_FALSE(engine.directoryContentsOfFTPURL(url("/plain.txt"), credentials()).has_value());
    EXPECT_FALSE(engine.directoryContentsOfFTPURL(url("/does-not-exist/"), credentials()).has_value());
    EXPECT_FALSE(engine.directoryContentsOfFTPURL(QUrl("http://127.0.0.1:1/"), credentials()).has_value());
    EXPECT_FALSE(
        engine.directoryContentsOfFTPURL(QUrl(QStringLiteral("ftp://127.0.0.1:%1/").arg(freeLoopbackPort()))).has_value());
}

TEST(QNLowNetworkNames, NameTestAndNewNamesIgnoreCase)
{
    const QVariantList listing{
        QVariantMap{{kQNLowNetworkDirectoryContentsKeyName, "Data.TXT"}},
        QVariantMap{{kQNLowNetworkDirectoryContentsKeyIsDirectory, false}},  // no name: matches nothing
        QVariantMap{{kQNLowNetworkDirectoryContentsKeyName, "DATA1.txt"}},
    };
    EXPECT_TRUE(QNLowNetwork::isItemName("data.txt", listing));
    EXPECT_FALSE(QNLowNetwork::isItemName("", listing));
    EXPECT_FALSE(QNLowNetwork::isItemName("data.txt", std::nullopt));
    EXPECT_EQ(QNLowNetwork::newFileNameForFile("data.txt", listing), "data2.txt");
    EXPECT_EQ(QNLowNetwork::newFileNameForFile("data.txt", std::nullopt), "data1.txt");
    EXPECT_EQ(QNLowNetwork::newFileNameForFile("Makefile", QVariantList{}), "Makefile1");
}

TEST(QNLowNetworkUpload, CancelStopsARunningUploadAndKeepsTheSource)
{
    LoopbackServer slow(LoopbackServer::Kind::Ftp, {"300000"});
    if (!slow.ok())
        GTEST_SKIP() << "pyftpdlib test server unavailable: " << slow.error().toStdString();
    QTemporaryDir local;
    const QByteArray content = patternBytes(6000000, 21);
    writeFile(local.filePath("big.bin"), content);
    QNLowNetwork engine;
    Completions done(&engine);
    ASSERT_EQ(engine.uploadToURL(QUrl(slow.base() + "/big.bin"), local.filePath("big.bin"), nullptr, credentials()),
              kQNLowNetworkStarted);
    ASSERT_TRUE(qn::test::waitUntil([&] { return engine.processedSize() > 0; }, 20000));
    EXPECT_EQ(engine.uploadToURL(QUrl(slow.base() + "/other.bin"), local.filePath("big.bin"), nullptr, credentials()),
              kQNLowNetworkBusyErr);
    engine.onCancelDownload(nullptr);
    EXPECT_EQ(done.wait(), kQNLowNetworkCancelled);
    EXPECT_FALSE(engine.isBusy());
    EXPECT_EQ(readFile(local.filePath("big.bin")), content);
    EXPECT_LT(QFileInfo(slow.root() + "/big.bin").size(), content.size()) << "stopped before the end";
}
