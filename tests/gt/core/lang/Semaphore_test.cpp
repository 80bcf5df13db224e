#include "gt/core/lang/Semaphore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using gt::core::Semaphore;

TEST(Semaphore, CountsSignalsAndWaits) {
    Semaphore sem;
    EXPECT_FALSE(sem.wait(0));
    EXPECT_TRUE(sem.signal(2));
    EXPECT_TRUE(sem.wait(0));
    EXPECT_TRUE(sem.wait(0));
    EXPECT_FALSE(sem.wait(0));
}

TEST(Semaphore, NonPositiveSignalIsRefused) {
    Semaphore sem;
    for (int count : {0, -1, -2147483647 - 1}) {
        EXPECT_FALSE(sem.signal(count)) << count;
    }
    EXPECT_FALSE(sem.wait(0));
}

TEST(Semaphore, DrainTakesEverything) {
    Semaphore sem;
    ASSERT_TRUE(sem.signal(5));
    sem.drain();
    EXPECT_FALSE(sem.wait(0));
    sem.drain();  // nothing left: returns at once
    EXPECT_FALSE(sem.wait(0));
}

TEST(Semaphore, SignalBeyondMaximumIsAllOrNothing) {
    Semaphore sem;
    ASSERT_TRUE(sem.signal(2147483647 - 1));
    EXPECT_FALSE(sem.signal(2));
    EXPECT_TRUE(sem.signal(1));
    EXPECT_FALSE(sem.signal(1));
    EXPECT_FALSE(sem.signal(2147483647));
    EXPECT_TRUE(sem.wait(0));
    EXPECT_TRUE(sem.signal(1));
    sem.drain();
    EXPECT_FALSE(sem.wait(0));
}

TEST(Semaphore, TimedWaitWaitsAtLeastTheTimeOut) {
    Semaphore sem;
    auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(sem.wait(30));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(30));
}

TEST(Semaphore, SignalWakesBlockedWaiters) {
    Semaphore sem;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (sem.wait(-1)) ++woken;
        });
    }
    ASSERT_TRUE(sem.signal(3));
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_FALSE(sem.wait(0));
}

TEST(Semaphore, ProducerConsumerStressLosesNoCount) {
    Semaphore sem;
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 5000;
    std::atomic<int> taken{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < kProducers; ++p) {
        threads.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; i += 1 + p % 2) {
                ASSERT_TRUE(sem.signal(1 + p % 2));
            }
        });
    }
    for (int c = 0; c < 3; ++c) {
        threads.emplace_back([&] {
            while (taken.load() < kProducers * kPerProducer) {
                if (sem.wait(5)) ++taken;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(taken.load(), kProducers * kPerProducer);
    EXPECT_FALSE(sem.wait(0));
}
