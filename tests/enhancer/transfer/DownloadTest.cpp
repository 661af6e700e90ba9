// SPDX-License-Identifier: MIT
// Downloads against real loopback servers: a Python HTTP server and pyftpdlib.
#include "LoopbackServer.h"
#include "QNLowNetwork.h"
#include "QNProgressWindowController.h"
#include "TestSupport.h"
#include "TransferTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using enum QNLowNetworkResult;

namespace {

const QVariantMap kBackground{{kQNLowNetworkInBackgroundOption, true}};
const QVariantMap kOverwriteInBackground{{kQNLowNetworkOverwriteOption, 1}, {kQNLowNetworkInBackgroundOption, true}};

class Download : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        http = new LoopbackServer(LoopbackServer::Kind::Http);
        ftp = new LoopbackServer(LoopbackServer::Kind::Ftp);
    }
    static void TearDownTestSuite()
    {
        delete http;
        delete ftp;
        http = ftp = nullptr;
    }
    void SetUp() override
    {
        if (!http->ok())
            GTEST_SKIP() << "HTTP test server unavailable: " << http->error().toStdString();
        if (!ftp->ok())
            GTEST_SKIP() << "pyftpdlib test server unavailable: " << ftp->error().toStdString();
        ASSERT_TRUE(dir.isValid());
    }
    QString dest(const QString& name) const { return dir.filePath(name); }
    static QUrl httpURL(const QString& path) { return QUrl(http->base() + path); }
    static QUrl ftpURL(const QString& path) { return QUrl(ftp->base() + path); }

    static inline LoopbackServer* http = nullptr;
    static inline LoopbackServer* ftp = nullptr;
    QTemporaryDir dir;
};

}  // namespace

TEST_F(Download, HttpFileArrivesWholeInBothModesWithOneNotification)
{
    // Larger than one engine buffer, so the chunk buffer is flushed more than once.
    const QByteArray content = patternBytes(2 * QNLowNetwork::kBufferSize + 12345, 1);
    http->put(QStringLiteral("big.bin"), content);
    for (const bool background : {true, false}) {
        auto engine = std::make_unique<QNLowNetwork>();
        Completions mine(engine.get());
        const QString target = dest(background ? "bg.bin" : "fg.bin");
        const QVariantMap option{{kQNLowNetworkInBackgroundOption, background}};
        ASSERT_EQ(engine->downloadURL(httpURL("/files/big.bin"), target, nullptr, option), kQNLowNetworkStarted);
        EXPECT_TRUE(engine->isBusy());
        EXPECT_EQ(background, engine->progressWindowController() == nullptr);
        EXPECT_EQ(mine.wait(), kQNLowNetworkSuccess);
        EXPECT_EQ(readFile(target), content);
        EXPECT_FALSE(engine->isBusy());
        EXPECT_TRUE(qn::test::waitUntil([&] { return engine->progressWindowController() == nullptr; }))
            << "the progress window is taken down after the end";
        engine.reset();  // waits for the worker: all it posts has been posted
        EXPECT_EQ(mine.codes().size(), 1u) << "one notification per started transfer";
    }
}

TEST_F(Download, HttpRedirectIsFollowed)
{
    http->put(QStringLiteral("moved.txt"), "final content\n");
    EXPECT_EQ(downloadToEnd(httpURL("/redirect/moved.txt"), dest("m.txt"), kBackground), kQNLowNetworkSuccess);
    EXPECT_EQ(readFile(dest("m.txt")), QByteArray("final content\n"));
}

TEST_F(Download, ExistingDestinationIsRefusedAtOnceAndKept)
{
    writeFile(dest("a.txt"), "keep me");
    QWidget doc;
    doc.show();
    auto engine = std::make_unique<QNLowNetwork>();
    Completions done(engine.get());
    EXPECT_EQ(engine->downloadURL(httpURL("/files/whatever"), dest("a.txt"), &doc, {}), kQNLowNetworkFileExistsErr);
    EXPECT_EQ(engine->progressWindowController(), nullptr) << "no sheet stays open";
    EXPECT_TRUE(doc.findChildren<QNProgressWindowController*>().isEmpty());
    EXPECT_FALSE(engine->isBusy());
    // Destroying the engine waits for any worker it started, so every
    // notification it would ever post has been posted by now.
    engine.reset();
    EXPECT_TRUE(done.codes().empty()) << "no notification for a refused start";
    EXPECT_EQ(readFile(dest("a.txt")), QByteArray("keep me"));

    // An existing folder is never written over, even with overwrite 1.
    QDir().mkpath(dest("folder"));
    QNLowNetwork second;
    EXPECT_EQ(second.downloadURL(httpURL("/files/x"), dest("folder"), nullptr, kOverwriteInBackground),
              kQNLowNetworkFileExistsErr);
}

namespace {
// Files in folder other than the given names (a temporary left behind shows up).
QStringList strayFiles(const QString& folder, const QStringList& expected)
{
    QStringList stray = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : expected)
        stray.removeAll(name);
    return stray;
}
}  // namespace

TEST_F(Download, OverwriteOneKeepsTheOldFileByteIdenticalWhenTheDownloadDoesNotFinish)
{
    // A slow FTP server, so that a cancel arrives mid-transfer.
    LoopbackServer slowFtp(LoopbackServer::Kind::Ftp, {"200000"});
    ASSERT_TRUE(slowFtp.ok()) << slowFtp.error().toStdString();
    slowFtp.put(QStringLiteral("big.bin"), patternBytes(20 * 1000 * 1000, 4));
    struct Case {
        const char* what;
        QUrl url;
        bool cancel;
        QNLowNetworkResult code;
    } const cases[] = {
        {"HTTP 404", httpURL("/status/404"), false, kQNLowNetworkNotFoundErr},
        {"HTTP 500", httpURL("/status/500"), false, kQNLowNetworkIOErr},
        {"HTTP server drops mid-body", httpURL("/drop"), false, kQNLowNetworkIOErr},
        {"HTTP cancel", httpURL("/trickle"), true, kQNLowNetworkCancelled},
        {"FTP missing file", ftpURL("/no-such-file.bin"), false, kQNLowNetworkIOErr},
        {"FTP cancel", QUrl(slowFtp.base() + "/big.bin"), true, kQNLowNetworkCancelled},
    };
    const QByteArray old = patternBytes(300000, 9);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(writeFile(dest("keep.bin"), old));
        ::chmod(QFile::encodeName(dest("keep.bin")).constData(), 0640);
        QNLowNetwork engine;
        Completions done(&engine);
        ASSERT_EQ(engine.downloadURL(c.url, dest("keep.bin"), nullptr,
                                     kOverwriteInBackground),
                  kQNLowNetworkStarted);
        if (c.cancel) {
            ASSERT_TRUE(qn::test::waitUntil([&] { return engine.processedSize() > 0; }, 20000));
            engine.onCancelDownload(nullptr);
        }
        EXPECT_EQ(done.wait(), c.code);
        EXPECT_EQ(readFile(dest("keep.bin")), old) << "the old file is byte-identical";
        EXPECT_EQ(strayFiles(dir.path(), {"keep.bin"}), QStringList()) << "no temporary is left";
    }

    // A finished download replaces the longer file whole, keeping its permissions.
    http->put(QStringLiteral("short.txt"), "new");
    EXPECT_EQ(downloadToEnd(httpURL("/files/short.txt"), dest("keep.bin"), kOverwriteInBackground),
              kQNLowNetworkSuccess);
    EXPECT_EQ(readFile(dest("keep.bin")), QByteArray("new"));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(dest("keep.bin")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(strayFiles(dir.path(), {"keep.bin"}), QStringList());
}

TEST_F(Download, OverwriteOneWritesIntoAFifoInsteadOfReplacingIt)
{
    http->put(QStringLiteral("fifo.txt"), "through the pipe");
    const QByteArray fifo = QFile::encodeName(dest("pipe"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(downloadToEnd(httpURL("/files/fifo.txt"), dest("pipe"), kOverwriteInBackground), kQNLowNetworkSuccess);
    char buffer[64] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 16);
    EXPECT_EQ(QByteArray(buffer), QByteArray("through the pipe"));
    ::close(reader);
    struct stat st;
    ASSERT_EQ(::lstat(fifo.constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO is still there";
}

TEST_F(Download, OverwriteTwoPicksTheNextFreeNumberedName)
{
    http->put(QStringLiteral("a.txt"), "fresh");
    for (const char* name : {"a.txt", "a1.txt", "a2.txt"})
        writeFile(dest(name), name);
    EXPECT_EQ(downloadToEnd(httpURL("/files/a.txt"), dest("a.txt"),
                            {{kQNLowNetworkOverwriteOption, 2}, {kQNLowNetworkInBackgroundOption, true}}),
              kQNLowNetworkSuccess);
    EXPECT_EQ(readFile(dest("a3.txt")), QByteArray("fresh"));
    EXPECT_EQ(readFile(dest("a.txt")), QByteArray("a.txt"));
    EXPECT_EQ(readFile(dest("a2.txt")), QByteArray("a2.txt"));
}

TEST_F(Download, NewPathForFileNumbersBeforeTheExtension)
{
    writeFile(dest("report.txt"), "");
    EXPECT_EQ(QNLowNetwork::newPathForFile(dest("report.txt")), dest("report1.txt"));
    writeFile(dest("report1.txt"), "");
    EXPECT_EQ(QNLowNetwork::newPathForFile(dest("report.txt")), dest("report2.txt"));
    EXPECT_EQ(QNLowNetwork::newPathForFile(dest("archive.tar.gz")), dest("archive.tar1.gz"));
    EXPECT_EQ(QNLowNetwork::newPathForFile(dest("README")), dest("README1"));
    EXPECT_EQ(QNLowNetwork::newPathForFile(dest(".profile")), dest(".profile1"));
}

TEST_F(Download, BusyEngineRefusesAndTheRunningTransferGoesOnUntilCancelled)
{
    QNLowNetwork engine;
    Completions done(&engine);
    ASSERT_EQ(engine.downloadURL(httpURL("/trickle"), dest("trickle.out"), nullptr, kBackground),
              kQNLowNetworkStarted);
    ASSERT_TRUE(qn::test::waitUntil([&] { return engine.processedSize() >= 3000; }, 20000));
    EXPECT_EQ(engine.downloadURL(httpURL("/files/x"), dest("other.out"), nullptr, kBackground), kQNLowNetworkBusyErr);
    EXPECT_EQ(engine.uploadToURL(ftpURL("/x"), dest("trickle.out"), nullptr, kBackground), kQNLowNetworkBusyErr);
    EXPECT_FALSE(QFileInfo::exists(dest("other.out")));
    const quint64 before = engine.processedSize();
    ASSERT_TRUE(qn::test::waitUntil([&] { return engine.processedSize() > before + 2000; }, 20000))
        << "the running download keeps going";
    EXPECT_TRUE(done.codes().empty());

    engine.onCancelDownload(nullptr);
    EXPECT_EQ(done.wait(), kQNLowNetworkCancelled);
    const QByteArray kept = readFile(dest("trickle.out"));
    EXPECT_GE(kept.size(), 5000) << "a cancel keeps the bytes so far";
    EXPECT_EQ(kept, QByteArray(kept.size(), 'x'));
    EXPECT_FALSE(engine.isBusy());
}

// A start refused at once: the code, nothing busy, no window, no
// notification ever, and the files already there untouched.
struct Refusal {
    const char* name;
    const char* url;   // "/..." is a path on the HTTP server
    const char* dest;  // below the scratch folder; empty: no path
    QVariantMap option;
    QNLowNetworkResult code;
    bool needsNonRoot = false;  // root writes into read-only folders and files
};

class RefusedDownload : public Download, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedDownload, AnswersAtOncePostsNothingAndKeepsFiles)
{
    const Refusal& r = GetParam();
    if (r.needsNonRoot && ::geteuid() == 0)
        GTEST_SKIP() << "root may write into read-only folders and files";
    writeFile(dest("plain.txt"), "a file, not a folder");
    writeFile(dest("a.txt"), "keep me");
    QDir().mkpath(dest("locked"));
    ::chmod(QFile::encodeName(dest("locked")).constData(), 0500);
    writeFile(dest("readonly.txt"), "old");
    ::chmod(QFile::encodeName(dest("readonly.txt")).constData(), 0400);

    const QString url = QString::fromUtf8(r.url);
    auto engine = std::make_unique<QNLowNetwork>();
    Completions done(engine.get());
    EXPECT_EQ(engine->downloadURL(url.startsWith(QLatin1Char('/')) ? httpURL(url) : QUrl(url),
                                  *r.dest ? dest(QString::fromUtf8(r.dest)) : QString(), nullptr, r.option),
              r.code);
    EXPECT_FALSE(engine->isBusy());
    EXPECT_EQ(engine->progressWindowController(), nullptr);
    // Destroying the engine waits for any worker it started, so every
    // notification it would ever post has been posted by now.
    engine.reset();
    EXPECT_TRUE(done.codes().empty());
    EXPECT_EQ(readFile(dest("a.txt")), QByteArray("keep me"));
    EXPECT_EQ(readFile(dest("readonly.txt")), QByteArray("old"));
    EXPECT_FALSE(QFileInfo::exists(dest("m")));
    ::chmod(QFile::encodeName(dest("locked")).constData(), 0700);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, RefusedDownload,
    ::testing::Values(Refusal{"mailto", "mailto:someone@example.com", "m", {}, kQNLowNetworkParamErr},
                      Refusal{"https", "https://127.0.0.1:1/x", "m", {}, kQNLowNetworkParamErr},
                      Refusal{"noURL", "", "m", {}, kQNLowNetworkParamErr},
                      Refusal{"noPath", "/files/x", "", {}, kQNLowNetworkParamErr},
                      Refusal{"unknownOverwriteMode", "/files/x", "a.txt", {{kQNLowNetworkOverwriteOption, 7}},
                              kQNLowNetworkParamErr},
                      Refusal{"missingFolder", "/files/x", "missing/new.txt", kBackground, kQNLowNetworkIOErr},
                      Refusal{"fileAsFolder", "/files/x", "plain.txt/new.txt", kBackground, kQNLowNetworkIOErr},
                      Refusal{"readOnlyFolder", "/files/x", "locked/new.txt", kBackground, kQNLowNetworkIOErr, true},
                      Refusal{"readOnlyFileOverwritten", "/files/x", "readonly.txt", kOverwriteInBackground,
                              kQNLowNetworkIOErr, true}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(Download, EmptySourcesGiveEmptyFiles)
{
    http->put(QStringLiteral("empty.bin"), "");
    ftp->put(QStringLiteral("empty.bin"), "");
    writeFile(dest("empty.src"), "");
    const QUrl sources[] = {httpURL("/files/empty.bin"), ftpURL("/empty.bin"),
                            QUrl::fromLocalFile(dest("empty.src"))};
    int i = 0;
    for (const QUrl& url : sources) {
        SCOPED_TRACE(url.toString().toStdString());
        const QString target = dest(QStringLiteral("empty%1.out").arg(i++));
        EXPECT_EQ(downloadToEnd(url, target, kBackground), kQNLowNetworkSuccess);
        EXPECT_TRUE(QFileInfo::exists(target));
        EXPECT_EQ(QFileInfo(target).size(), 0);
    }
}

TEST_F(Download, LocalFileURLs)
{
    const QByteArray content = patternBytes(QNLowNetwork::kBufferSize + 7, 2);
    writeFile(dest("source.bin"), content);
    EXPECT_EQ(downloadToEnd(QUrl::fromLocalFile(dest("source.bin")), dest("copy.bin"), kBackground),
              kQNLowNetworkSuccess);
    EXPECT_EQ(readFile(dest("copy.bin")), content);
    QNLowNetwork engine;
    EXPECT_EQ(engine.downloadURL(QUrl::fromLocalFile(dest("absent.bin")), dest("c2"), nullptr, kBackground),
              kQNLowNetworkNotFoundErr);
    EXPECT_EQ(engine.downloadURL(QUrl::fromLocalFile(dir.path()), dest("c3"), nullptr, kBackground),
              kQNLowNetworkIsDirectoryErr);
    EXPECT_FALSE(QFileInfo::exists(dest("c2")));
    EXPECT_FALSE(QFileInfo::exists(dest("c3")));
    // Writing a file over itself would destroy it before it is read.
    EXPECT_EQ(engine.downloadURL(QUrl::fromLocalFile(dest("source.bin")), dest("source.bin"), nullptr,
                                 kOverwriteInBackground),
              kQNLowNetworkFileExistsErr);
    EXPECT_EQ(readFile(dest("source.bin")), content);
}

// What an FTP download says to the server for its options: credentials count
// only as a pair, and the data connection is active unless passive is asked.
struct FtpLogin {
    const char* name;
    QVariantMap option;
    const char* user;
    bool passive;
};

class FtpLogins : public Download, public ::testing::WithParamInterface<FtpLogin> {};

TEST_P(FtpLogins, FileArrivesWithTheAskedUserAndMode)
{
    const FtpLogin& c = GetParam();
    const QByteArray content = patternBytes(1500000, 3);
    ftp->put(QStringLiteral("pub/data.bin"), content);
    QVariantMap option = c.option;
    option.insert(kQNLowNetworkInBackgroundOption, true);
    const qsizetype logBefore = ftp->log().size();
    EXPECT_EQ(downloadToEnd(ftpURL("/pub/data.bin"), dest("data.bin"), option), kQNLowNetworkSuccess);
    EXPECT_EQ(readFile(dest("data.bin")), content);
    const QByteArray log = ftp->log().mid(logBefore);
    EXPECT_TRUE(log.contains(QByteArray("USER ") + c.user)) << log.toStdString();
    if (c.passive)
        EXPECT_TRUE(log.contains("EPSV") || log.contains("PASV")) << log.toStdString();
    else
        EXPECT_TRUE(log.contains("EPRT") || log.contains("PORT")) << log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Options, FtpLogins,
    ::testing::Values(FtpLogin{"credentialsPassive",
                               {{kQNLowNetworkUserName, "tester"}, {kQNLowNetworkPassword, "secret"},
                                {kQNLowNetworkPassiveModeOption, true}},
                               "tester", true},
                      FtpLogin{"credentialsActive",
                               {{kQNLowNetworkUserName, "tester"}, {kQNLowNetworkPassword, "secret"},
                                {kQNLowNetworkPassiveModeOption, false}},
                               "tester", false},
                      FtpLogin{"userNameAlone", {{kQNLowNetworkUserName, "tester"}}, "anonymous", false}),
    [](const ::testing::TestParamInfo<FtpLogin>& info) { return std::string(info.param.name); });

// A transfer that starts and then fails: its code, and no file left behind.
struct FailedDownload {
    const char* name;
    const char* server;  // "http", "ftp", or "closed" (a loopback port nothing listens on)
    const char* path;
    QNLowNetworkResult code;
};

class FailedDownloads : public Download, public ::testing::WithParamInterface<FailedDownload> {};

TEST_P(FailedDownloads, EndWithTheirCodeAndLeaveNoFile)
{
    const FailedDownload& c = GetParam();
    ftp->put(QStringLiteral("folder/inside.txt"), "x");
    QDir().mkpath(ftp->root() + "/emptyfolder");
    const QString server = QString::fromLatin1(c.server);
    const QUrl url = server == "http" ? httpURL(c.path)
                     : server == "ftp" ? ftpURL(c.path)
                                       : QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(freeLoopbackPort()).arg(c.path));
    EXPECT_EQ(downloadToEnd(url, dest("failed.out"), kBackground), c.code);
    EXPECT_FALSE(QFileInfo::exists(dest("failed.out"))) << "the partial file is removed";
}

INSTANTIATE_TEST_SUITE_P(
    Ends, FailedDownloads,
    ::testing::Values(FailedDownload{"http404", "http", "/status/404", kQNLowNetworkNotFoundErr},
                      FailedDownload{"http404EmptyBody", "http", "/status/404empty", kQNLowNetworkNotFoundErr},
                      FailedDownload{"httpMissingFile", "http", "/files/nothing-here", kQNLowNetworkNotFoundErr},
                      FailedDownload{"http500", "http", "/status/500", kQNLowNetworkIOErr},
                      FailedDownload{"http403", "http", "/status/403", kQNLowNetworkIOErr},
                      FailedDownload{"http500EmptyBody", "http", "/status/500empty", kQNLowNetworkIOErr},
                      FailedDownload{"httpDroppedConnection", "http", "/drop", kQNLowNetworkIOErr},
                      FailedDownload{"httpUnreachable", "closed", "/files/x", kQNLowNetworkIOErr},
                      FailedDownload{"ftpMissingFile", "ftp", "/no-such-file.txt", kQNLowNetworkIOErr},
                      FailedDownload{"ftpFolderWithSlash", "ftp", "/folder/", kQNLowNetworkIsDirectoryErr},
                      FailedDownload{"ftpFolder", "ftp", "/folder", kQNLowNetworkIsDirectoryErr},
                      FailedDownload{"ftpEmptyFolderWithSlash", "ftp", "/emptyfolder/", kQNLowNetworkIsDirectoryErr},
                      FailedDownload{"ftpEmptyFolder", "ftp", "/emptyfolder", kQNLowNetworkIsDirectoryErr}),
    [](const ::testing::TestParamInfo<FailedDownload>& info) { return std::string(info.param.name); });

TEST_F(Download, DestroyingTheEngineStopsItsTransfer)
{
    Completions done(nullptr);
    {
        QNLowNetwork engine;
        ASSERT_EQ(engine.downloadURL(httpURL("/trickle"), dest("t.out"), nullptr, kBackground), kQNLowNetworkStarted);
        ASSERT_TRUE(qn::test::waitUntil([&] { return engine.processedSize() > 0; }, 20000));
    }
    // The destructor waited for the worker: its notification has been posted.
    ASSERT_FALSE(done.codes().empty());
    EXPECT_EQ(done.codes().back(), kQNLowNetworkCancelled);
}
