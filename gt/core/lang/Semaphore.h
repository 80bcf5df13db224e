// Counting semaphore (initial count 0, at most 2147483647 counts) that any
// thread may signal and wait on. Waits are measured on the monotonic clock.
#pragma once

namespace gt {
namespace core {

class Semaphore {
public:
    class SemaphoreImpl;

    Semaphore();
    Semaphore(Semaphore const&) = delete;
    Semaphore& operator=(Semaphore const&) = delete;
    virtual ~Semaphore();

    // Takes one count, waiting up to ms milliseconds (forever when ms is
    // negative); false on time-out.
    bool wait(int ms);
    // Adds count counts, all or nothing: false when count <= 0 or when the
    // total would pass the maximum.
    bool signal(int count = 1);
    // Takes every count available now, without waiting.
    void drain();

private:
    SemaphoreImpl* m_sem;
};

}  // namespace core
}  // namespace gt
