#include "gt/core/lang/CriticalSection.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace gt {
namespace core {

struct CriticalSection::Record {
    std::mutex mutex;
    // Owner and recursion count are written only by the holding thread; other
    // threads read them (the owner test in unlock, isLocked) without locking.
    std::atomic<std::thread::id> owner{std::thread::id()};
    std::atomic<int> count{0};
};

CriticalSection::CriticalSection() : m_record(new Record) {}

CriticalSection::~CriticalSection() {
    delete m_record;
    m_record = nullptr;
}

void CriticalSection::lock() {
    std::thread::id self = std::this_thread::get_id();
    if (m_record->owner.load(std::memory_order_relaxed) != self) {
        m_record->mutex.lock();
        m_record->owner.store(self, std::memory_order_relaxed);
    }
    m_record->count.fetch_add(1, std::memory_order_relaxed);
}

void CriticalSection::unlock() {
    if (m_record->owner.load(std::memory_order_relaxed) != std::this_thread::get_id()) return;
    if (m_record->count.fetch_sub(1, std::memory_order_relaxed) == 1) {
        m_record->owner.store(std::thread::id(), std::memory_order_relaxed);
        m_record->mutex.unlock();
    }
}

bool CriticalSection::tryLock() {
    std::thread::id self = std::this_thread::get_id();
    if (m_record->owner.load(std::memory_order_relaxed) != self) {
        if (!m_record->mutex.try_lock()) return false;
        m_record->owner.store(self, std::memory_order_relaxed);
    }
    m_record->count.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool CriticalSection::isLocked() { return m_record->count.load(std::memory_order_relaxed) > 0; }

}  // namespace core
}  // namespace gt
