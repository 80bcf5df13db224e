// A Queue that producer and consumer threads share: a lock guards the list
// and a counting semaphore holds one count per entry, so a consumer can
// block until a value is there. The lock is never held during the wait.
#pragma once

#include <memory>
#include <utility>

#include "gt/core/lang/CriticalSection.h"
#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/LockGuard.h"
#include "gt/core/lang/Queue.h"
#include "gt/core/lang/Semaphore.h"

namespace gt {
namespace core {

template <class T>
class AtomicQueue {
public:
    AtomicQueue() : m_lock(new CriticalSection) {}
    AtomicQueue(AtomicQueue const&) = delete;
    AtomicQueue& operator=(AtomicQueue const&) = delete;
    // Waiters in pop must have been stopped by the owner: nothing wakes them.
    virtual ~AtomicQueue() {
        clear();
        m_lock.reset();
    }

    void push(T const& value) {
        LockGuard guard(m_lock.get());
        m_queue.push(value);
        GT_ASSERT(m_sem.signal(1));
    }

    void push(T&& value) {
        LockGuard guard(m_lock.get());
        m_queue.push(std::move(value));
        GT_ASSERT(m_sem.signal(1));
    }

    // The same as push; kept apart for the empty values that only wake a
    // waiting consumer.
    void pushWakeUp(T const& value) {
        LockGuard guard(m_lock.get());
        m_queue.push(value);
        GT_ASSERT(m_sem.signal(1));
    }

    // Waits up to ms for a value (negative: without limit, 0: not at all);
    // false on time-out.
    bool pop(T* pvalue, int ms) {
        if (!m_sem.wait(ms)) return false;
        LockGuard guard(m_lock.get());
        GT_ASSERT(m_queue.pop(pvalue));
        return true;
    }

    // Discards every entry queued now, without handing it out.
    void clear() {
        LockGuard guard(m_lock.get());
        while (m_sem.wait(0)) {
            if (!m_queue.discard()) break;
        }
    }

private:
    Queue<T> m_queue;
    Semaphore m_sem;
    std::unique_ptr<ILock> m_lock;
};

}  // namespace core
}  // namespace gt
