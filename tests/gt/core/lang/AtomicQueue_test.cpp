#include "gt/core/lang/AtomicQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "gt/core/lang/Queue.h"

using gt::core::AtomicQueue;
using gt::core::Queue;

namespace {

TEST(Queue, FirstInFirstOut) {
    Queue<int> q;
    int value = 42;
    EXPECT_FALSE(q.pop(&value));
    EXPECT_EQ(value, 42);
    q.push(1);
    EXPECT_TRUE(q.pop(&value));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(q.isEmpty());
    EXPECT_FALSE(q.pop(&value));
    // Usable again after running empty (head and tail both reset).
    for (int i = 0; i < 5; ++i)
        q.push(i);
    EXPECT_EQ(q.count(), 5);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(q.pop(&value));
        EXPECT_EQ(value, i);
    }
    q.push(9);
    EXPECT_TRUE(q.pop(&value));
    EXPECT_EQ(value, 9);
}

TEST(Queue, DestructorFreesRemainingValues) {
    auto token = std::make_shared<int>(0);
    {
        Queue<std::shared_ptr<int>> q;
        q.push(token);
        q.push(token);
        EXPECT_EQ(token.use_count(), 3);
    }
    EXPECT_EQ(token.use_count(), 1);
}

TEST(AtomicQueue, PopWithoutWaiting) {
    AtomicQueue<int> q;
    int value = -1;
    EXPECT_FALSE(q.pop(&value, 0));
    q.push(1);
    q.push(2);
    q.pushWakeUp(3);
    for (int expected : {1, 2, 3}) {
        ASSERT_TRUE(q.pop(&value, 0));
        EXPECT_EQ(value, expected);
    }
    EXPECT_FALSE(q.pop(&value, 0));
    EXPECT_FALSE(q.pop(&value, 10));
}

TEST(AtomicQueue, ClearDropsEntriesAndTheirCounts) {
    auto token = std::make_shared<int>(0);
    AtomicQueue<std::shared_ptr<int>> q;
    q.push(token);
    q.push(token);
    q.clear();
    EXPECT_EQ(token.use_count(), 1);
    std::shared_ptr<int> value;
    EXPECT_FALSE(q.pop(&value, 0));
    q.push(token);
    ASSERT_TRUE(q.pop(&value, 0));
    EXPECT_EQ(value, token);
}

TEST(AtomicQueue, BlockedConsumerWakesOnPush) {
    AtomicQueue<std::function<int()>> q;
    std::atomic<int> got{0};
    std::thread consumer([&] {
        std::function<int()> f;
        if (q.pop(&f, -1)) got = f();
    });
    q.push([] { return 7; });
    consumer.join();
    EXPECT_EQ(got, 7);
}

// Many producers and consumers: every value arrives exactly once, and each
// producer's values arrive in its order.
TEST(AtomicQueue, ManyProducersAndConsumers) {
    constexpr int producers = 4, consumers = 4, perProducer = 2000;
    AtomicQueue<int> q;
    std::vector<std::vector<int>> seen(consumers);
    std::vector<std::thread> threads;
    for (int c = 0; c < consumers; ++c) {
        threads.emplace_back([&, c] {
            int value;
            while (q.pop(&value, -1) && value >= 0)
                seen[c].push_back(value);
        });
    }
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i)
                q.push(p * perProducer + i);
        });
    }
    for (int p = 0; p < producers; ++p)
        threads[consumers + p].join();
    for (int c = 0; c < consumers; ++c)
        q.pushWakeUp(-1);
    for (int c = 0; c < consumers; ++c)
        threads[c].join();
    std::vector<int> count(producers * perProducer, 0);
    for (auto const& list : seen) {
        std::vector<int> last(producers, -1);
        for (int v : list) {
            ++count[v];
            EXPECT_GT(v, last[v / perProducer]);
            last[v / perProducer] = v;
        }
    }
    for (int n : count)
        ASSERT_EQ(n, 1);
}

}  // namespace
