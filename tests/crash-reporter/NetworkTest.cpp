// SPDX-License-Identifier: MIT
#include "QNNetwork.h"

#include "HttpTestServer.h"
#include "TestSupport.h"
#include "notify/NotificationCenter.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

using namespace qn::reporter;

namespace {

struct EndRecorder {
    QList<qn::Notification> ends;
    int dataNotes = 0;
    qn::NotificationCenter::Token a, b;
    explicit EndRecorder(const void* sender)
    {
        a = qn::NotificationCenter::defaultCenter().addObserver(
            kQNNetworkAsyncConnectionDidEndNotification, sender, [this](const qn::Notification& n) { ends << n; });
        b = qn::NotificationCenter::defaultCenter().addObserver(
            kQNNetworkASyncLoadDidReceiveDataNotification, sender, [this](const qn::Notification&) { ++dataNotes; });
    }
    ~EndRecorder()
    {
        qn::NotificationCenter::defaultCenter().removeObserver(a);
        qn::NotificationCenter::defaultCenter().removeObserver(b);
    }
};

// A port on which nothing listens.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    return s.serverPort();
}

}  // namespace

TEST(QNNetwork, PercentEscapingKeepsOnlyUnreservedBytes)
{
    EXPECT_EQ(QNNetwork::percentEscape(QStringLiteral("aZ09-._*")), QByteArray("aZ09-._*"));
    EXPECT_EQ(QNNetwork::percentEscape(QStringLiteral("a b+c&d=e%f~g\n")),
              QByteArray("a%20b%2Bc%26d%3De%25f%7Eg%0A"));
    EXPECT_EQ(QNNetwork::percentEscape(QStringLiteral("é")), QByteArray("%C3%A9"));
}

TEST(QNNetwork, FormBodyJoinsEscapedPairsWithAmpersands)
{
    const QByteArray body = QNNetwork::formBody(
        {{QStringLiteral("programName"), QStringLiteral("A&B")},
         {QStringLiteral("userComment"), QStringLiteral(" ")},
         {QStringLiteral("report"), QStringLiteral("x=1")}});
    QList<QByteArray> pairs = body.split('&');
    std::sort(pairs.begin(), pairs.end());
    EXPECT_EQ(pairs, (QList<QByteArray>{"programName=A%26B", "report=x%3D1", "userComment=%20"}));
    EXPECT_EQ(body.count('&'), 2);
    EXPECT_TRUE(QNNetwork::formBody({}).isEmpty());
}

TEST(QNNetwork, SynchronousStatusRules)
{
    TinyHttpServer server;
    QNNetwork net;
    struct Case {
        int status;
        bool ok;
        int code;
    };
    for (const Case c : {Case{200, true, 0}, Case{299, true, 0}, Case{300, false, 200}, Case{403, false, 200},
                         Case{500, false, 200}, Case{404, false, 201}}) {
        server.status = c.status;
        QNNetworkErrorInfo error;
        const bool ok = net.HTTPSendFormWithDictionary({{QStringLiteral("k"), QStringLiteral("v")}}, server.url(),
                                                       false, &error);
        EXPECT_EQ(ok, c.ok) << "status " << c.status;
        EXPECT_EQ(error.code, c.code) << "status " << c.status;
        if (c.code != 0) {
            EXPECT_EQ(error.domain, QStringLiteral("com.qnlab.QNErrorDomain"));
        }
        if (c.status == 404) {
            EXPECT_EQ(error.localizedDescription, QStringLiteral("URL is not found."));
            EXPECT_EQ(error.recoverySuggestion, QStringLiteral("'%1' is not found.").arg(server.url().toString()));
        }
        if (c.code == 200) {
            EXPECT_EQ(error.localizedDescription, QStringLiteral("Can't connect to the network."));
            EXPECT_EQ(error.recoveryOptions, (QStringList{QStringLiteral("Yes"), QStringLiteral("No")}));
            EXPECT_EQ(error.recoveryAttempter.data(), &net);
        }
    }
    ASSERT_EQ(server.requests.size(), 6);
    const auto& r = server.requests.last();
    EXPECT_EQ(r.method, QByteArray("POST"));
    EXPECT_EQ(r.path, QByteArray("/crashreport_send.php"));
    EXPECT_EQ(r.body, QByteArray("k=v"));
    EXPECT_TRUE(r.headerLines.contains(QByteArray("Content-type: application/x-www-form-urlencoded"))
                || r.headerLines.contains(QByteArray("Content-Type: application/x-www-form-urlencoded")));
}

TEST(QNNetwork, OtherSchemesAreRefusedAtTheCall)
{
    QNNetwork net;
    EndRecorder rec(&net);
    for (const char* url : {"https://127.0.0.1/x", "ftp://127.0.0.1/x"}) {
        QNNetworkErrorInfo error;
        EXPECT_FALSE(net.HTTPSendFormWithDictionary({}, QUrl(QString::fromLatin1(url)), true, &error));
        EXPECT_EQ(error.code, 201);
        EXPECT_EQ(error.localizedDescription, QStringLiteral("Failed to connect the URL."));
        EXPECT_EQ(error.recoverySuggestion,
                  QStringLiteral("The scheme '%1' is not supported.").arg(QUrl(QString::fromLatin1(url)).scheme()));
    }
    EXPECT_FALSE(net.isTransferring());
    EXPECT_FALSE(net.HTTPSendFormWithDictionary({}, QUrl(QStringLiteral("HTTPS://h/")), false));  // no out-parameter
    EXPECT_TRUE(rec.ends.isEmpty());
}

TEST(QNNetwork, SynchronousTransferFailureGivesPlatformError)
{
    QNNetwork net;
    QNNetworkErrorInfo error;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/x").arg(closedPort()));
    EXPECT_FALSE(net.HTTPSendFormWithDictionary({}, url, false, &error));
    EXPECT_NE(error.domain, QStringLiteral("com.qnlab.QNErrorDomain"));
    EXPECT_FALSE(error.localizedDescription.isEmpty());
    EXPECT_TRUE(net.loadURL(url, false).isNull());
}

TEST(QNNetwork, AsynchronousAnyStatusEndsWithoutUserInfo)
{
    TinyHttpServer server;
    server.status = 500;
    QNNetwork net;
    EndRecorder rec(&net);
    ASSERT_TRUE(net.HTTPSendFormWithDictionary({{QStringLiteral("a"), QStringLiteral("b")}}, server.url(), true));
    ASSERT_TRUE(qn::test::waitUntil([&] { return !rec.ends.isEmpty(); }));
    EXPECT_TRUE(rec.ends.first().userInfo.isEmpty());
    EXPECT_EQ(net.asyncData(), QByteArray("answer"));
    EXPECT_GE(rec.dataNotes, 1);
    EXPECT_EQ(net.asyncURL(), server.url());
    EXPECT_FALSE(net.isTransferring());
}

TEST(QNNetwork, AsynchronousFailureCarriesTheError)
{
    QNNetwork net;
    EndRecorder rec(&net);
    ASSERT_TRUE(net.loadURL(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())), true).isEmpty());
    ASSERT_TRUE(qn::test::waitUntil([&] { return !rec.ends.isEmpty(); }));
    ASSERT_EQ(rec.ends.size(), 1);
    const QVariant error = rec.ends.first().userInfo.value(kQNNetworkError);
    ASSERT_TRUE(error.isValid());
    EXPECT_FALSE(error.value<QNNetworkErrorInfo>().localizedDescription.isEmpty());
    EXPECT_FALSE(rec.ends.first().userInfo.contains(kQNNetworkUserCancel));
}

TEST(QNNetwork, SecondTransferCancelsTheFirstWithOneNotification)
{
    TinyHttpServer held;
    held.holdRequests = true;
    TinyHttpServer answering;
    QNNetwork net;
    EndRecorder rec(&net);
    net.loadURL(held.url(QStringLiteral("/slow")), true);
    ASSERT_TRUE(qn::test::waitUntil([&] { return held.requests.size() == 1; }));
    net.loadURL(answering.url(QStringLiteral("/fast")), true);
    ASSERT_EQ(rec.ends.size(), 1);
    EXPECT_EQ(rec.ends.first().userInfo.value(kQNNetworkUserCancel), QVariant(true));
    ASSERT_TRUE(qn::test::waitUntil([&] { return rec.ends.size() == 2; }));
    EXPECT_TRUE(rec.ends.at(1).userInfo.isEmpty());
    EXPECT_EQ(net.asyncURL(), answering.url(QStringLiteral("/fast")));
    // Nothing more arrives for the cancelled one: a synchronous load runs the
    // event loop until its own later answer, past anything the first left queued.
    EXPECT_FALSE(net.loadURL(answering.url(QStringLiteral("/sync")), false).isNull());
    EXPECT_EQ(rec.ends.size(), 2);
}

TEST(QNNetwork, CancelWithoutNotificationAndDestroyWhileRunning)
{
    TinyHttpServer held;
    held.holdRequests = true;
    auto net = std::make_unique<QNNetwork>();
    const void* sender = net.get();
    EndRecorder rec(sender);
    net->cancelConnectionWithPostNotification(true);  // nothing runs: nothing posted
    EXPECT_TRUE(rec.ends.isEmpty());
    net->loadURL(held.url(), true);
    net->cancelConnectionWithPostNotification(false);
    EXPECT_TRUE(rec.ends.isEmpty());
    EXPECT_FALSE(net->isTransferring());

    net->loadURL(held.url(), true);
    ASSERT_TRUE(qn::test::waitUntil([&] { return held.requests.size() >= 1; }));
    net.reset();
    ASSERT_EQ(rec.ends.size(), 1);
    EXPECT_EQ(rec.ends.first().sender, sender);
    EXPECT_EQ(rec.ends.first().userInfo.value(kQNNetworkUserCancel), QVariant(true));
}

TEST(QNNetwork, RecoveryRunsDiagnosticOnlyForYesOnNetworkError)
{
    QNNetwork net;
    qputenv("QNLAB_TEST_ANSWERS", QFile::encodeName(qn::test::homeDir() + QStringLiteral("/answers.jsonl")));
    qputenv("QNLAB_TEST_SHOWN", QFile::encodeName(qn::test::homeDir() + QStringLiteral("/shown.jsonl")));
    QFile answers(qn::test::homeDir() + QStringLiteral("/answers.jsonl"));
    ASSERT_TRUE(answers.open(QIODevice::WriteOnly));
    answers.write("{\"kind\":\"Alert\",\"button\":0}\n");
    answers.close();

    net.attemptRecoveryFromError(net.errorForNetworkConnection(), 1);
    net.attemptRecoveryFromError(net.errorForURLNotFound(QUrl(QStringLiteral("http://h/"))), 0);
    EXPECT_EQ(net.diagnosticsRun(), 0);
    net.attemptRecoveryFromError(net.errorForNetworkConnection(), 0);
    EXPECT_EQ(net.diagnosticsRun(), 1);
    QFile shown(qn::test::homeDir() + QStringLiteral("/shown.jsonl"));
    ASSERT_TRUE(shown.open(QIODevice::ReadOnly));
    const QJsonObject rec = QJsonDocument::fromJson(shown.readLine()).object();
    EXPECT_EQ(rec.value(QStringLiteral("kind")).toString(), QStringLiteral("Alert"));
    EXPECT_EQ(rec.value(QStringLiteral("message")).toString(), QStringLiteral("There is no server address to check."));
    qunsetenv("QNLAB_TEST_ANSWERS");
    qunsetenv("QNLAB_TEST_SHOWN");
}

// PHP's own form decoder must get every value back exactly.
TEST(QNNetwork, PhpFormDecoderReceivesValuesIntact)
{
    PhpFormServer php(qn::test::homeDir() + QStringLiteral("/php"));
    if (!php.ok())
        GTEST_SKIP() << "php-cli is not installed or does not start";
    const QString tricky = QStringLiteral("a&b=c+d%20e %f\nline2\r\nline3 é ~*");
    QNNetwork net;
    QNNetworkErrorInfo error;
    const bool ok = net.HTTPSendFormWithDictionary(
        {{QStringLiteral("report"), tricky}, {QStringLiteral("userComment"), QStringLiteral(" ")},
         {QStringLiteral("programName"), QStringLiteral("My App+")}},
        php.url(), false, &error);
    ASSERT_TRUE(ok) << error.localizedDescription.toStdString();
    QFile received(php.received);
    ASSERT_TRUE(received.open(QIODevice::ReadOnly));
    const QJsonObject got = QJsonDocument::fromJson(received.readAll()).object();
    EXPECT_EQ(got.size(), 3);
    EXPECT_EQ(got.value(QStringLiteral("report")).toString(), tricky);
    EXPECT_EQ(got.value(QStringLiteral("userComment")).toString(), QStringLiteral(" "));
    EXPECT_EQ(got.value(QStringLiteral("programName")).toString(), QStringLiteral("My App+"));
}
