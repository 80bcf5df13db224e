// Runs tasks on a fixed set of worker threads and hands their completions
// back to the thread that owns the pool, which runs them by calling
// runCompletions() from its own loop.
#pragma once

#include <functional>

#include "gt/core/io/Thread.h"
#include "gt/core/lang/AtomicQueue.h"
#include "gt/core/util/Array.h"

namespace gt {
namespace util {

class TaskPool {
public:
    using Completion = std::function<void()>;
    // A task gets an empty completion slot, which it may fill; whatever it
    // leaves there is queued for the owner.
    using Task = std::function<void(Completion&)>;

    explicit TaskPool(int threads);
    TaskPool(TaskPool const&) = delete;
    TaskPool& operator=(TaskPool const&) = delete;
    // Discards queued tasks and completions without running them; a task
    // already running is finished first.
    virtual ~TaskPool();

    // Queues a task; an empty one is ignored.
    void post(Task const& task);
    // Runs every queued completion, in the order the workers queued them.
    void runCompletions();
    // Discards the tasks no worker has taken yet.
    void cancelPending();
    // Tasks posted whose completion has not been taken by runCompletions
    // (nor the task discarded). Owner's thread only.
    int pendingCount() const { return m_pending; }
    int threadCount() const { return m_threads.count(); }

private:
    void _work(core::Thread* thread);

    core::Array<core::Thread*> m_threads;
    core::AtomicQueue<Task> m_tasks;
    core::AtomicQueue<Completion> m_completions;
    int m_pending;
};

}  // namespace util
}  // namespace gt
