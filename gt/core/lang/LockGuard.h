// Holds a lock for the lifetime of the guard; a null lock is allowed and
// makes the guard do nothing.
#pragma once

#include "gt/core/lang/ILock.h"

namespace gt {
namespace core {

class LockGuard {
public:
    explicit LockGuard(ILock* lock) : m_lock(lock) {
        if (m_lock) m_lock->lock();
    }
    LockGuard(LockGuard const&) = delete;
    LockGuard& operator=(LockGuard const&) = delete;
    virtual ~LockGuard() {
        if (m_lock) m_lock->unlock();
    }

private:
    ILock* m_lock;
};

}  // namespace core
}  // namespace gt
