#include "gt/core/lang/Semaphore.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "gt/core/lang/Fatal.h"

namespace gt {
namespace core {

class Semaphore::SemaphoreImpl {
public:
    static constexpr long long kMaxCount = 2147483647;

    virtual ~SemaphoreImpl() = default;

    bool wait(int ms) {
        std::unique_lock<std::mutex> guard(m_mutex);
        auto ready = [this] { return m_count > 0; };
        if (ms < 0) {
            m_cond.wait(guard, ready);
        } else {
            // steady_clock waits use the monotonic clock: setting the wall
            // clock neither shortens nor stretches a wait.
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
            if (!m_cond.wait_until(guard, deadline, ready)) return false;
        }
        --m_count;
        return true;
    }

    bool signal(int count) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_count + count > kMaxCount) return false;
            m_count += count;
        }
        if (count == 1) {
            m_cond.notify_one();
        } else {
            m_cond.notify_all();
        }
        return true;
    }

    void drain() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_count = 0;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    long long m_count = 0;
};

Semaphore::Semaphore() : m_sem(new SemaphoreImpl) { GT_ASSERT(m_sem); }

Semaphore::~Semaphore() {
    delete m_sem;
    m_sem = nullptr;
}

bool Semaphore::wait(int ms) {
    GT_ASSERT(m_sem);
    return m_sem->wait(ms);
}

bool Semaphore::signal(int count) {
    GT_ASSERT(m_sem);
    if (count <= 0) return false;
    return m_sem->signal(count);
}

void Semaphore::drain() {
    GT_ASSERT(m_sem);
    m_sem->drain();
}

}  // namespace core
}  // namespace gt
