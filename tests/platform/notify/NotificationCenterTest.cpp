// SPDX-License-Identifier: MIT
#include "notify/NotificationCenter.h"

#include <QObject>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace qn;

TEST(NotificationCenter, DeliversByNameAndSender)
{
    NotificationCenter c;
    int a = 0, any = 0, fromX = 0;
    int x = 0, y = 0;
    c.addObserver("A", nullptr, [&](const Notification& n) {
        ++a;
        EXPECT_EQ(n.userInfo.value("k").toInt(), 1);
    });
    c.addObserver(QString(), nullptr, [&](const Notification&) { ++any; });
    c.addObserver("A", &x, [&](const Notification& n) {
        ++fromX;
        EXPECT_EQ(n.sender, &x);
    });
    c.post("A", &x, {{"k", 1}});
    c.post("A", &y, {{"k", 1}});
    c.post("B", &x);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(fromX, 1);
    EXPECT_EQ(any, 3);
}

TEST(NotificationCenter, ObserverRemovingItselfAndOthersDuringDelivery)
{
    NotificationCenter c;
    int first = 0, second = 0;
    NotificationCenter::Token t1 = 0, t2 = 0;
    t1 = c.addObserver("N", nullptr, [&](const Notification&) {
        ++first;
        c.removeObserver(t1);
        c.removeObserver(t2);  // removed before its turn: must not be called
    });
    t2 = c.addObserver("N", nullptr, [&](const Notification&) { ++second; });
    c.post("N");
    c.post("N");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

TEST(NotificationCenter, ContextDestructionRemovesObserver)
{
    NotificationCenter c;
    int calls = 0;
    {
        QObject context;
        c.addObserver("N", nullptr, &context, [&](const Notification&) { ++calls; });
        c.post("N");
    }
    c.post("N");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, PostingFromManyThreadsWhileObserversChange)
{
    NotificationCenter c;
    std::atomic<int> delivered{0};
    c.addObserver("T", nullptr, [&](const Notification&) { ++delivered; });
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            auto t = c.addObserver("T", nullptr, [](const Notification&) {});
            c.removeObserver(t);
        }
    });
    std::vector<std::thread> posters;
    for (int i = 0; i < 4; ++i)
        posters.emplace_back([&] {
            for (int n = 0; n < 5000; ++n)
                c.post("T");
        });
    for (auto& t : posters)
        t.join();
    stop = true;
    churn.join();
    EXPECT_EQ(delivered.load(), 20000);
}
