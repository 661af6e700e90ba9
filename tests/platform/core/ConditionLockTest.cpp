// SPDX-License-Identifier: MIT
#include "threading/ConditionLock.h"

#include <gtest/gtest.h>

#include <thread>

using namespace qn;
using namespace std::chrono_literals;

TEST(ConditionLock, HandsOverBetweenThreadsByCondition)
{
    ConditionLock lock(0);
    std::vector<int> order;
    std::thread worker([&] {
        lock.lockWhenCondition(1);
        order.push_back(2);
        lock.unlockWithCondition(2);
    });
    lock.lock();
    order.push_back(1);
    lock.unlockWithCondition(1);
    lock.lockWhenCondition(2);
    order.push_back(3);
    lock.unlock();
    worker.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(lock.condition(), 2);
}

TEST(ConditionLock, TryLockWhenConditionGivesUpAtTheDeadline)
{
    ConditionLock lock(0);
    EXPECT_FALSE(lock.tryLockWhenCondition(1, std::chrono::steady_clock::now() + 20ms));
    EXPECT_TRUE(lock.tryLockWhenCondition(0, std::chrono::steady_clock::now() + 20ms));
    EXPECT_FALSE(lock.tryLock()) << "already held";
    EXPECT_FALSE(lock.tryLockWhenCondition(0, std::chrono::steady_clock::now() + 20ms)) << "held, even with the right condition";
    lock.unlock();
    EXPECT_TRUE(lock.tryLock());
    lock.unlock();
}

TEST(ConditionLock, WaiterWakesWhenConditionArrivesLater)
{
    ConditionLock lock(0);
    std::thread setter([&] {
        std::this_thread::sleep_for(30ms);
        lock.lock();
        lock.unlockWithCondition(7);
    });
    EXPECT_TRUE(lock.tryLockWhenCondition(7, std::chrono::steady_clock::now() + 10s));
    lock.unlock();
    setter.join();
}
