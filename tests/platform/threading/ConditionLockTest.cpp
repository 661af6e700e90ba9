// SPDX-License-Identifier: MIT
#include "threading/ConditionLock.h"

#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <atomic>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace qn;
using namespace std::chrono_literals;

namespace {

// Whether the thread is asleep in the kernel (state S in its stat line).
bool threadSleeps(pid_t tid)
{
    QFile f(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = f.readAll();
    const int close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) == "S";
}

}  // namespace

TEST(ConditionLock, HandsOverBetweenThreadsByCondition)
{
    ConditionLock lock(0);
    std::vector<int> order;
    std::thread worker([&] {
        if (!lock.tryLockWhenCondition(1, std::chrono::steady_clock::now() + 10s))
            return;
        order.push_back(2);
        lock.unlockWithCondition(2);
    });
    lock.lock();
    order.push_back(1);
    lock.unlockWithCondition(1);
    ASSERT_TRUE(lock.tryLockWhenCondition(2, std::chrono::steady_clock::now() + 10s));
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
    EXPECT_FALSE(lock.tryLockWhenCondition(0, std::chrono::steady_clock::now() + 20ms)) << "held, even with the right condition";
    lock.unlock();
    EXPECT_TRUE(lock.tryLockWhenCondition(0, std::chrono::steady_clock::now()));
    lock.unlock();
}

TEST(ConditionLock, WaiterWakesWhenConditionArrivesLater)
{
    ConditionLock lock(0);
    std::atomic<pid_t> waiterTid{0};
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        waiterTid = pid_t(::syscall(SYS_gettid));
        woke = lock.tryLockWhenCondition(7, std::chrono::steady_clock::now() + 10s);
        if (woke)
            lock.unlock();
    });
    // Set the condition only once the waiter sleeps in its wait.
    ASSERT_TRUE(qn::test::waitUntil([&] { return waiterTid != 0 && threadSleeps(waiterTid); }, 10000));
    EXPECT_FALSE(woke);
    lock.lock();
    lock.unlockWithCondition(7);
    waiter.join();
    EXPECT_TRUE(woke);
}
