#include "gt/util/dist/TaskPool.h"

#include "gt/core/lang/Fatal.h"

namespace gt {
namespace util {

using core::Thread;

TaskPool::TaskPool(int threads) : m_pending(0) {
    for (int i = 0; i < threads; ++i) {
        Thread* thread = new Thread;
        bool ret = thread->start([this, thread] { _work(thread); });
        GT_ASSERT(ret);
        m_threads.add(thread);
    }
}

TaskPool::~TaskPool() {
    m_tasks.clear();
    for (Thread* thread : m_threads)
        thread->stop(0);
    // One empty task per worker wakes every worker blocked on the queue.
    for (int i = 0; i < m_threads.count(); ++i)
        m_tasks.pushWakeUp(Task());
    for (Thread* thread : m_threads) {
        thread->stop(-1);
        delete thread;
    }
    m_threads.clear();
    m_tasks.clear();
    m_completions.clear();
}

void TaskPool::post(Task const& task) {
    if (!task) return;
    ++m_pending;
    m_tasks.push(task);
}

void TaskPool::runCompletions() {
    Completion completion;
    while (m_completions.pop(&completion, 0)) {
        --m_pending;
        Completion run;
        run.swap(completion);
        if (run) run();
    }
}

void TaskPool::cancelPending() {
    // pop takes one semaphore count per entry it removes, so the queue stays
    // consistent with workers waiting on it.
    Task task;
    while (m_tasks.pop(&task, 0)) {
        if (task) --m_pending;
        task = nullptr;
    }
}

void TaskPool::_work(Thread* thread) {
    while (thread->state() != Thread::State::STOPPING) {
        Task task;
        if (!m_tasks.pop(&task, -1)) return;
        if (task) {
            Completion completion;
            task(completion);
            task = nullptr;
            m_completions.push(std::move(completion));
        }
    }
}

}  // namespace util
}  // namespace gt
