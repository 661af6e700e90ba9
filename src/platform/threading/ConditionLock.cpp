// SPDX-License-Identifier: MIT
#include "threading/ConditionLock.h"

namespace qn {

int ConditionLock::condition() const
{
    std::lock_guard g(_mutex);
    return _condition;
}

void ConditionLock::lock()
{
    std::unique_lock g(_mutex);
    _changed.wait(g, [this] { return !_locked; });
    _locked = true;
}

bool ConditionLock::tryLockWhenCondition(int condition, std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock g(_mutex);
    if (!_changed.wait_until(g, deadline, [&] { return !_locked && _condition == condition; }))
        return false;
    _locked = true;
    return true;
}

void ConditionLock::unlock()
{
    {
        std::lock_guard g(_mutex);
        _locked = false;
    }
    _changed.notify_all();
}

void ConditionLock::unlockWithCondition(int condition)
{
    {
        std::lock_guard g(_mutex);
        _condition = condition;
        _locked = false;
    }
    _changed.notify_all();
}

}  // namespace qn
