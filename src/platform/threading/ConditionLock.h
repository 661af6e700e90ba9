// SPDX-License-Identifier: MIT
// src/platform/threading: a lock with an integer condition.
#pragma once
// A lock with an integer condition, as the transfer engine coordinates its
// worker and its starting thread: lock, lock when the condition has a value
// before a deadline, and unlock while setting a new condition.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qn {

class ConditionLock {
public:
    explicit ConditionLock(int condition = 0) : _condition(condition) {}
    ConditionLock(const ConditionLock&) = delete;
    ConditionLock& operator=(const ConditionLock&) = delete;

    int condition() const;
    void lock();
    /// Returns false (not locked) when the deadline passes first.
    bool tryLockWhenCondition(int condition, std::chrono::steady_clock::time_point deadline);
    void unlock();
    void unlockWithCondition(int condition);

private:
    mutable std::mutex _mutex;
    std::condition_variable _changed;
    bool _locked = false;
    int _condition;
};

}  // namespace qn
