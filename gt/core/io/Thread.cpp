#include "gt/core/io/Thread.h"

#include <errno.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "gt/core/io/SystemFolders.h"
#include "gt/core/lang/Binary.h"
#include "gt/core/lang/Exception.h"
#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Random.h"
#include "gt/core/lang/SignalStack.h"

namespace gt {
namespace core {

Thread::Thread() : m_state(State::STOPPED) {}

Thread::~Thread() {
    stop(-1);
    GT_ASSERT(m_state == State::STOPPED);
}

bool Thread::start(std::function<void()> const& function) {
    if (m_state.load() != State::STOPPED) return false;
    m_sem.drain();
    m_function = function;
    pthread_attr_t attr;
    if (::pthread_attr_init(&attr) != 0) {
        m_function = nullptr;
        return false;
    }
    ::pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    int rc = ::pthread_create(&id, &attr, &Thread::_entry, this);
    ::pthread_attr_destroy(&attr);
    if (rc != 0) {
        m_function = nullptr;
        return false;
    }
    GT_ASSERT(m_sem.wait(-1));
    return true;
}

void* Thread::_entry(void* object) {
    unsigned seed = static_cast<unsigned>(::time(nullptr)) * static_cast<unsigned>(::syscall(SYS_gettid));
    srand(seed);
    GT_ASSERT(object);
    // Every thread of ours gets its own alternate signal stack: the crash
    // handler runs there, so a stack overflow in this thread is reported too.
    SignalStack signalStack;
    static_cast<Thread*>(object)->_run();
    return nullptr;
}

void Thread::_run() {
    m_state.store(State::RUNNING);
    GT_ASSERT(m_sem.signal(1));
    String failure;
    try {
        m_function();
    } catch (Exception const& e) {
        failure = u"线程未捕获异常: " + e.toString();
    } catch (int value) {
        failure = u"线程未捕获异常: " + Integer(value).toString();
    } catch (char const* text) {
        failure = u"线程未捕获异常: " + (text ? Binary(text).utf8ToString() : String());
    } catch (...) {
        failure = String(u"线程未捕获异常: 未知异常");
    }
    if (!failure.isEmpty()) raiseError(failure, getProgramFile(), -1);
    m_function = nullptr;
    GT_ASSERT(m_sem.signal(1));
    // The last touch of this object: once the owner reads STOPPED it may destroy it.
    m_state.store(State::STOPPED);
}

void Thread::stop(int timeoutMs) {
    State expected = State::RUNNING;
    // Only a running thread is switched to STOPPING. A body that returned by
    // itself meanwhile has written STOPPED, and that must not be overwritten.
    if (!m_state.compare_exchange_strong(expected, State::STOPPING) && expected != State::STOPPING) return;
    if (!m_sem.wait(timeoutMs)) return;
    while (m_state.load() != State::STOPPED)
        ::sched_yield();
}

void Thread::sleep(int ms) {
    if (ms < 0) return;
    struct timespec delay = {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (::nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

}  // namespace core
}  // namespace gt
