#include "gt/util/dist/TaskPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using gt::util::TaskPool;

namespace {

// Runs completions until nothing is pending (or 5 s have passed).
bool drain(TaskPool& pool) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (pool.pendingCount() > 0) {
        pool.runCompletions();
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A task that holds its worker until released.
struct Gate {
    std::atomic<bool> entered{false};
    std::atomic<bool> open{false};
    std::atomic<bool> finished{false};

    TaskPool::Task task() {
        return [this](TaskPool::Completion&) {
            entered = true;
            while (!open)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            finished = true;
        };
    }
    void waitEntered() {
        while (!entered)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

}  // namespace

TEST(TaskPool, OneThreadRunsInPostingOrder) {
    TaskPool pool(1);
    EXPECT_EQ(pool.threadCount(), 1);
    std::vector<int> ran;  // touched by the one worker only
    std::vector<int> completed;
    for (int i = 0; i < 50; ++i) {
        pool.post([i, &ran, &completed](TaskPool::Completion& done) {
            ran.push_back(i);
            done = [i, &completed] { completed.push_back(i); };
        });
    }
    ASSERT_TRUE(drain(pool));
    std::vector<int> expected;
    for (int i = 0; i < 50; ++i)
        expected.push_back(i);
    EXPECT_EQ(ran, expected);
    EXPECT_EQ(completed, expected);
}

TEST(TaskPool, ThreeThreadsCompleteEveryTask) {
    TaskPool pool(3);
    std::atomic<int> ran{0};
    std::vector<int> completed;
    for (int i = 0; i < 200; ++i) {
        pool.post([i, &ran, &completed](TaskPool::Completion& done) {
            ++ran;
            done = [i, &completed] { completed.push_back(i); };
        });
    }
    ASSERT_TRUE(drain(pool));
    EXPECT_EQ(ran.load(), 200);
    std::sort(completed.begin(), completed.end());
    ASSERT_EQ(completed.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(completed[i], i);
}

TEST(TaskPool, PendingCountDropsOnlyOnTheOwnersSide) {
    TaskPool pool(1);
    Gate gate;
    std::atomic<int> emptyDone{0};
    struct Step {
        char const* what;
        int pending;
    };
    std::vector<Step> seen;
    seen.push_back({"start", pool.pendingCount()});
    pool.post(TaskPool::Task());
    seen.push_back({"empty task ignored", pool.pendingCount()});
    pool.post(gate.task());
    seen.push_back({"one posted", pool.pendingCount()});
    pool.post([&emptyDone](TaskPool::Completion&) { ++emptyDone; });  // leaves its completion empty
    seen.push_back({"two posted", pool.pendingCount()});
    gate.waitEntered();
    gate.open = true;
    while (emptyDone == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    seen.push_back({"both ran, nothing taken yet", pool.pendingCount()});
    pool.runCompletions();
    seen.push_back({"completions taken", pool.pendingCount()});
    pool.runCompletions();
    seen.push_back({"nothing queued", pool.pendingCount()});

    int const expected[] = {0, 0, 1, 2, 2, 0, 0};
    ASSERT_EQ(seen.size(), 7u);
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].pending, expected[i]) << seen[i].what;
}

TEST(TaskPool, CancelPendingDiscardsQueuedTasksOnly) {
    TaskPool pool(1);
    Gate gate;
    std::atomic<int> others{0};
    int completions = 0;
    pool.post([&](TaskPool::Completion& done) {
        gate.task()(done);
        done = [&completions] { ++completions; };
    });
    gate.waitEntered();
    for (int i = 0; i < 5; ++i)
        pool.post([&others](TaskPool::Completion&) { ++others; });
    EXPECT_EQ(pool.pendingCount(), 6);
    pool.cancelPending();
    EXPECT_EQ(pool.pendingCount(), 1);
    gate.open = true;
    ASSERT_TRUE(drain(pool));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(others.load(), 0);

    // The queue is still consistent: later tasks run normally.
    pool.post([&others](TaskPool::Completion&) { ++others; });
    ASSERT_TRUE(drain(pool));
    EXPECT_EQ(others.load(), 1);
    pool.cancelPending();
    EXPECT_EQ(pool.pendingCount(), 0);
}

TEST(TaskPool, ThrowingCompletionLeavesTheRestQueued) {
    TaskPool pool(1);
    std::vector<int> order;
    pool.post([&order](TaskPool::Completion& done) { done = [&order] { order.push_back(1); }; });
    pool.post([](TaskPool::Completion& done) { done = [] { throw 7; }; });
    pool.post([&order](TaskPool::Completion& done) { done = [&order] { order.push_back(3); }; });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool thrown = false;
    while (!thrown && std::chrono::steady_clock::now() < deadline) {
        try {
            pool.runCompletions();
        } catch (int) {
            thrown = true;
        }
    }
    ASSERT_TRUE(thrown);
    EXPECT_EQ(order, std::vector<int>{1});
    ASSERT_TRUE(drain(pool));
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
}

TEST(TaskPool, DestroyingRunsNoQueuedTaskButFinishesTheRunningOne) {
    Gate gate;
    std::atomic<int> queuedRan{0};
    int completions = 0;
    {
        TaskPool pool(1);
        pool.post([&](TaskPool::Completion& done) {
            gate.task()(done);
            done = [&completions] { ++completions; };
        });
        gate.waitEntered();
        for (int i = 0; i < 10; ++i)
            pool.post([&queuedRan](TaskPool::Completion&) { ++queuedRan; });
        std::thread opener([&gate] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            gate.open = true;
        });
        opener.detach();
    }
    EXPECT_TRUE(gate.finished);
    EXPECT_EQ(queuedRan.load(), 0);
    EXPECT_EQ(completions, 0);
}

TEST(TaskPool, ManyPostDestroyCycles) {
    auto counter = std::make_shared<std::atomic<int>>(0);
    for (int cycle = 0; cycle < 1000; ++cycle) {
        TaskPool pool(1);
        for (int i = 0; i < 3; ++i)
            pool.post([counter](TaskPool::Completion& done) {
                ++*counter;
                done = [] {};
            });
        if (cycle % 2 == 0) pool.runCompletions();
    }
    EXPECT_LE(counter->load(), 3000);
    TaskPool none(0);
    none.post([](TaskPool::Completion&) {});
    EXPECT_EQ(none.pendingCount(), 1);
}
