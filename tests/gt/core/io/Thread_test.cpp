#include "gt/core/io/Thread.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>

#include "support/Wait.h"

using gt::core::Thread;
using gt::test::waitFor;
using State = Thread::State;

namespace {

TEST(Thread, StartRunsTheBodyAndStopEndsIt) {
    Thread thread;
    std::atomic<int> turns{0};
    State seenAtStart = State::STOPPED;
    ASSERT_TRUE(thread.start([&] {
        seenAtStart = thread.state();
        while (thread.state() != State::STOPPING) {
            ++turns;
            Thread::sleep(1);
        }
    }));
    EXPECT_NE(thread.state(), State::STOPPED);  // RUNNING before start returned
    EXPECT_FALSE(thread.start([] {}));          // a second start while it runs
    EXPECT_TRUE(waitFor([&] { return turns > 0; }));
    thread.stop(-1);
    EXPECT_EQ(thread.state(), State::STOPPED);
    EXPECT_EQ(seenAtStart, State::RUNNING);
}

TEST(Thread, BodyThatReturnsByItself) {
    Thread thread;
    int runs = 0;
    ASSERT_TRUE(thread.start([&] { ++runs; }));
    ASSERT_TRUE(waitFor([&] { return thread.state() == State::STOPPED; }));
    thread.stop(-1);  // returns at once
    ASSERT_TRUE(thread.start([&] { ++runs; }));
    thread.stop(-1);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(thread.state(), State::STOPPED);
}

TEST(Thread, StopWithTimeoutLeavesTheBodyRunning) {
    Thread thread;
    std::atomic<bool> release{false};
    ASSERT_TRUE(thread.start([&] {
        while (!release)
            Thread::sleep(1);  // never looks at the state
    }));
    thread.stop(0);
    EXPECT_EQ(thread.state(), State::STOPPING);
    thread.stop(20);
    EXPECT_EQ(thread.state(), State::STOPPING);
    EXPECT_FALSE(thread.start([] {}));
    release = true;
    thread.stop(-1);
    EXPECT_EQ(thread.state(), State::STOPPED);
}

TEST(Thread, FunctionIsReleasedWhenTheBodyEnds) {
    auto token = std::make_shared<int>(1);
    Thread thread;
    ASSERT_TRUE(thread.start([token] {}));
    thread.stop(-1);
    ASSERT_TRUE(waitFor([&] { return thread.state() == State::STOPPED; }));
    EXPECT_EQ(token.use_count(), 1);
}

// The owner's stop and a body that returns by itself meet in every possible
// order; none of them may hang.
TEST(Thread, StopRacingWithReturnNeverHangs) {
    Thread thread;
    for (int round = 0; round < 3000; ++round) {
        // Bodies of varying length end just before, during or after the stop.
        int spin = (round % 64) * 16;
        ASSERT_TRUE(thread.start([spin] {
            for (volatile int i = 0; i < spin; i = i + 1) {
            }
        }));
        thread.stop(-1);
        ASSERT_EQ(thread.state(), State::STOPPED);
    }
}

TEST(Thread, DestructorStopsTheBody) {
    std::atomic<bool> ended{false};
    {
        Thread thread;
        ASSERT_TRUE(thread.start([&] {
            while (thread.state() != State::STOPPING)
                Thread::sleep(1);
            ended = true;
        }));
    }
    EXPECT_TRUE(ended);
}

// A crash handler runs on the alternate signal stack of the thread that
// crashed; without one, a stack overflow there ends the process unreported.
TEST(Thread, EveryThreadRunsWithAnAlternateSignalStackOfItsOwn) {
    stack_t seen[2];
    std::atomic<int> done{0};
    Thread threads[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(threads[i].start([&seen, &done, i] {
            ::sigaltstack(nullptr, &seen[i]);
            ++done;
            // Both alive at once, so neither stack can be the other's reused.
            while (done.load() < 2)
                Thread::sleep(1);
        }));
    }
    ASSERT_TRUE(waitFor([&] { return done.load() == 2; }, 10000));
    for (int i = 0; i < 2; ++i) {
        threads[i].stop(-1);
        EXPECT_FALSE(seen[i].ss_flags & SS_DISABLE) << i;
        EXPECT_GE(seen[i].ss_size, static_cast<size_t>(MINSIGSTKSZ)) << i;
    }
    EXPECT_NE(seen[0].ss_sp, seen[1].ss_sp);
}

TEST(Thread, SleepIgnoresNegativeValues) {
    Thread::sleep(-5);
    Thread::sleep(0);
}

}  // namespace
