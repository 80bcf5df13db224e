#include "gt/core/util/Timer.h"

#include <gtest/gtest.h>

#include "gt/core/util/TickClock.h"
#include "support/FakeClock.h"

using gt::core::Timer;

namespace {

class TimerTest : public ::testing::Test {
protected:
    gt::test::FakeClock clock{0};
};

unsigned fixedTicks() { return 42; }

}  // namespace

TEST_F(TimerTest, ZeroOrNegativeIntervalIsAlwaysExpired) {
    Timer timers[] = {Timer(), Timer(0), Timer(-5)};
    Timer started(100);
    started.start(-1);
    for (Timer* t : {&timers[0], &timers[1], &timers[2], &started}) {
        EXPECT_EQ(t->interval(), 0);
        EXPECT_TRUE(t->isExpired());
        EXPECT_EQ(t->remaining(), 0);
        clock.advance(50);
        t->reset();
        t->rearm();
        t->advance(10);
        EXPECT_TRUE(t->isExpired());
        EXPECT_EQ(t->remaining(), 0);
        EXPECT_EQ(t->interval(), 0);
    }
}

TEST_F(TimerTest, CountsDownAndExpiresAtTheInterval) {
    clock.set(5000);
    Timer t(1000);
    struct Step {
        unsigned now;
        bool expired;
        int remaining;
    } steps[] = {{5000, false, 1000}, {5001, false, 999}, {5999, false, 1}, {6000, true, 0}, {9000, true, 0}};
    for (Step const& s : steps) {
        clock.set(s.now);
        EXPECT_EQ(t.isExpired(), s.expired) << s.now;
        EXPECT_EQ(t.remaining(), s.remaining) << s.now;
    }
    t.reset();
    EXPECT_EQ(t.remaining(), 1000);
}

TEST_F(TimerTest, AdvanceByRemainingMakesItDueAtOnce) {
    Timer t(3000);
    clock.set(1200);
    t.advance(0);
    t.advance(-40);
    EXPECT_EQ(t.remaining(), 1800);
    t.advance(t.remaining());
    EXPECT_TRUE(t.isExpired());
    EXPECT_EQ(t.remaining(), 0);
    t.rearm();
    EXPECT_EQ(t.remaining(), 3000);
}

TEST_F(TimerTest, RearmKeepsThePhaseAndSkipsMissedPeriods) {
    Timer t(1000);
    clock.set(3500);
    EXPECT_TRUE(t.isExpired());
    t.rearm();
    EXPECT_FALSE(t.isExpired());
    EXPECT_EQ(t.remaining(), 500);
    clock.set(3999);
    EXPECT_FALSE(t.isExpired());
    clock.set(4000);
    EXPECT_TRUE(t.isExpired());
}

TEST_F(TimerTest, WorksAcrossTheWrapOfTheTickCount) {
    clock.set(0xFFFFFF00u);
    Timer t(1000);
    clock.set(0xFFFFFF00u + 999u);  // wrapped past 2^32
    EXPECT_FALSE(t.isExpired());
    EXPECT_EQ(t.remaining(), 1);
    clock.set(0xFFFFFF00u + 1000u);
    EXPECT_TRUE(t.isExpired());

    clock.set(0xFFFFF000u);
    Timer periodic(1000);
    clock.set(0xFFFFF000u + 3500u);
    periodic.rearm();
    EXPECT_EQ(periodic.remaining(), 500);
    clock.set(0xFFFFF000u + 4000u);
    EXPECT_TRUE(periodic.isExpired());
}

TEST_F(TimerTest, StartFarBehindCountsAsExpired) {
    Timer t(2147483647);
    clock.set(0x7FFFFFFFu);
    EXPECT_TRUE(t.isExpired());  // elapsed equals the interval
    clock.set(0x80000000u);      // 2^31 behind: reads as negative
    EXPECT_TRUE(t.isExpired());
    EXPECT_EQ(t.remaining(), 0);
    clock.set(0xFFFFFFFFu);
    EXPECT_TRUE(t.isExpired());
    EXPECT_EQ(t.remaining(), 0);
}

TEST_F(TimerTest, CopiesCarryStartAndInterval) {
    Timer a(500);
    clock.set(200);
    Timer b(a);
    Timer c;
    c = a;
    EXPECT_EQ(b.remaining(), 300);
    EXPECT_EQ(c.remaining(), 300);
    EXPECT_EQ(c.interval(), 500);
}

TEST(TickClock, SystemClockIsMonotonicAndRestorable) {
    gt::core::TickSource previous = gt::core::setTickSource(nullptr);
    unsigned a = gt::core::getTickCount();
    unsigned b = gt::core::getTickCount();
    EXPECT_LT(b - a, 1000u);
    gt::core::setTickSource(&fixedTicks);
    EXPECT_EQ(gt::core::getTickCount(), 42u);
    gt::core::setTickSource(previous);
}
