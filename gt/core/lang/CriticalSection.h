// Recursive lock: the owning thread may lock again and must unlock as often.
#pragma once

#include "gt/core/lang/ILock.h"

namespace gt {
namespace core {

class CriticalSection : public ILock {
public:
    CriticalSection();
    CriticalSection(CriticalSection const&) = delete;
    CriticalSection& operator=(CriticalSection const&) = delete;
    ~CriticalSection() override;

    void lock() override;
    // Leaves one level; does nothing when the calling thread does not hold
    // the lock (a stray unlock must not release another thread's hold).
    void unlock() override;
    bool tryLock() override;
    bool isLocked() override;

private:
    struct Record;
    Record* m_record;
};

}  // namespace core
}  // namespace gt
