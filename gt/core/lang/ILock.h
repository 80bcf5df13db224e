// The lock interface every lock of the library implements.
#pragma once

namespace gt {
namespace core {

class ILock {
public:
    // Blocks until the lock is held by the calling thread.
    virtual void lock() = 0;
    // Leaves one level of holding; does nothing when the caller does not hold it.
    virtual void unlock() = 0;
    // Takes the lock when that is possible at once.
    virtual bool tryLock() = 0;
    // A hint only: true while some thread holds the lock.
    virtual bool isLocked() = 0;
    virtual ~ILock() = default;

protected:
    ILock() = default;
    ILock(ILock const&) = default;
    ILock& operator=(ILock const&) = default;
};

}  // namespace core
}  // namespace gt
