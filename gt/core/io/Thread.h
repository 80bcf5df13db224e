// One function on one operating-system thread with a cooperative stop: the
// body polls state() and returns once it reads STOPPING. start returns when
// the new thread really runs, stop when the body really ended.
#pragma once

#include <atomic>
#include <functional>

#include "gt/core/lang/Semaphore.h"

namespace gt {
namespace core {

class Thread {
public:
    enum class State : int { STOPPED = 0, RUNNING = 1, STOPPING = 2 };

    Thread();
    Thread(Thread const&) = delete;
    Thread& operator=(Thread const&) = delete;
    // Stops without a time-out.
    virtual ~Thread();

    // False when the thread is not STOPPED or cannot be created.
    bool start(std::function<void()> const& function);
    // Asks the body to stop and waits for its end; a negative time-out waits
    // without limit. After a time-out the body still runs (state STOPPING).
    void stop(int timeoutMs);
    State state() const { return m_state.load(); }

    // Nothing for a negative value.
    static void sleep(int ms);

private:
    static void* _entry(void* object);
    void _run();

    std::atomic<State> m_state;
    std::function<void()> m_function;
    // Signalled once when the thread runs and once when its body ended.
    Semaphore m_sem;
};

}  // namespace core
}  // namespace gt
