// SPDX-License-Identifier: MIT
#include "QNNetwork.h"

#include "HttpTestServer.h"
#include "TestSupport.h"
#include "notify/NotificationCenter.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

struct Ends {
    QList<qn::Notification> notes;
    qn::NotificationCenter::Token token;
    Ends(const QString& name, const void* sender)
    {
        token = qn::NotificationCenter::defaultCenter().addObserver(
            name, sender, [this](const qn::Notification& n) { notes << n; });
    }
    ~Ends() { qn::NotificationCenter::defaultCenter().removeObserver(token); }
};

}  // namespace

// Its end-notification name, kept apart from the crash reporter's client, is
// checked by the program that links both.
TEST(QNNetworkVariant, RawUploadEndsWithoutJudgingTheStatus)
{
    TinyHttpServer server;
    server.status = 404;
    QNNetwork net;
    Ends ends(kQNNetworkAsyncConnectionDidEndNotification, &net);
    ASSERT_TRUE(net.HTTPUploadData("raw bytes", server.url(), true));
    ASSERT_TRUE(qn::test::waitUntil([&] { return !ends.notes.isEmpty(); }));
    EXPECT_TRUE(ends.notes.first().userInfo.isEmpty());
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests.first().method, QByteArray("POST"));
    EXPECT_EQ(server.requests.first().body, QByteArray("raw bytes"));
    for (const QByteArray& line : server.requests.first().headerLines)
        EXPECT_FALSE(line.toLower().startsWith("content-type: application")) << line.constData();
}

TEST(QNNetworkVariant, SynchronousUploadIsTrueWhenAnyBodyCameBack)
{
    TinyHttpServer server;
    server.status = 500;
    QNNetwork net;
    EXPECT_TRUE(net.HTTPUploadData("x", server.url(), false));
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    const QUrl closed(QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()));
    probe.close();
    EXPECT_FALSE(net.HTTPUploadData("x", closed, false));
}

TEST(QNNetworkVariant, NewTransferCancelsRunningOneWithNotification)
{
    TinyHttpServer held;
    held.holdRequests = true;
    TinyHttpServer answering;
    QNNetwork net;
    Ends ends(kQNNetworkAsyncConnectionDidEndNotification, &net);
    net.loadURL(held.url(), true);
    ASSERT_TRUE(qn::test::waitUntil([&] { return held.requests.size() == 1; }));
    net.loadURL(answering.url(), true);
    ASSERT_EQ(ends.notes.size(), 1);
    EXPECT_EQ(ends.notes.first().userInfo.value(kQNNetworkUserCancel), QVariant(true));
    ASSERT_TRUE(qn::test::waitUntil([&] { return ends.notes.size() == 2; }));
    EXPECT_EQ(net.asyncData(), QByteArray("answer"));
    EXPECT_EQ(net.loadURL(answering.url(), false), QByteArray("answer"));
}

// The diagnosis texts live in a table libQNEnhancer shares with the crash
// reporter; they must travel inside the library.
TEST(QNNetworkVariant, DiagnosticWithoutServerSaysSoInItsOwnWords)
{
    const QString shownPath = qn::test::homeDir() + QStringLiteral("/shown.jsonl");
    const QString answersPath = qn::test::homeDir() + QStringLiteral("/answers.jsonl");
    QFile::remove(shownPath);
    QFile answers(answersPath);
    ASSERT_TRUE(answers.open(QIODevice::WriteOnly));
    answers.write("{\"kind\":\"Alert\",\"button\":0}\n");
    answers.close();
    qputenv("QNLAB_TEST_ANSWERS", QFile::encodeName(answersPath));
    qputenv("QNLAB_TEST_SHOWN", QFile::encodeName(shownPath));
    QNNetwork net;
    net.showNetworkDiagnostic();
    qunsetenv("QNLAB_TEST_ANSWERS");
    qunsetenv("QNLAB_TEST_SHOWN");
    QFile shown(shownPath);
    ASSERT_TRUE(shown.open(QIODevice::ReadOnly));
    const QJsonObject alert = QJsonDocument::fromJson(shown.readLine()).object();
    EXPECT_EQ(alert.value(QStringLiteral("message")).toString(), QStringLiteral("There is no server address to check."));
}
