// SPDX-License-Identifier: MIT
// One program linking libQNEnhancer's HTTP client and the crash reporter's:
// each keeps its own class and its own end-notification name. With two global
// classes of one name this program would not link, or would silently use one
// class's constants for both.
#include "crash-reporter/QNNetwork.h"
#include "enhancer/QNNetwork.h"

#include "HttpTestServer.h"
#include "TestSupport.h"
#include "notify/NotificationCenter.h"

#include <gtest/gtest.h>

namespace {

// Counts the notifications named name from sender.
struct Heard {
    int count = 0;
    qn::NotificationCenter::Token token;
    Heard(const QString& name, const void* sender)
    {
        token = qn::NotificationCenter::defaultCenter().addObserver(name, sender,
                                                                    [this](const qn::Notification&) { ++count; });
    }
    ~Heard() { qn::NotificationCenter::defaultCenter().removeObserver(token); }
};

}  // namespace

TEST(BothHttpClients, EachEndsUnderItsOwnNotificationName)
{
    EXPECT_EQ(kQNNetworkAsyncConnectionDidEndNotification, QStringLiteral("kQNNetworkAsyncLoadDidEndNotification"));
    EXPECT_EQ(qn::reporter::kQNNetworkAsyncConnectionDidEndNotification,
              QStringLiteral("kQNNetworkAsyncConnectionDidEndNotification"));

    TinyHttpServer server;
    QNNetwork framework;
    qn::reporter::QNNetwork reporter;
    Heard frameworkEnds(kQNNetworkAsyncConnectionDidEndNotification, &framework);
    Heard reporterEnds(qn::reporter::kQNNetworkAsyncConnectionDidEndNotification, &reporter);
    Heard frameworkUnderOtherName(qn::reporter::kQNNetworkAsyncConnectionDidEndNotification, &framework);
    Heard reporterUnderOtherName(kQNNetworkAsyncConnectionDidEndNotification, &reporter);
    ASSERT_TRUE(framework.HTTPUploadData("a", server.url(), true));
    ASSERT_TRUE(reporter.HTTPSendFormWithDictionary({{QStringLiteral("b"), QStringLiteral("c")}}, server.url(), true));
    ASSERT_TRUE(qn::test::waitUntil([&] { return frameworkEnds.count == 1 && reporterEnds.count == 1; }));
    // Both transfers have ended (notifications are posted synchronously), so
    // an end under the other name would have been heard by now.
    EXPECT_EQ(frameworkUnderOtherName.count, 0);
    EXPECT_EQ(reporterUnderOtherName.count, 0);
    EXPECT_EQ(server.requests.size(), 2);
}
