#include "gt/net/channel/ByteRateLimiter.h"

#include <gtest/gtest.h>

#include "support/FakeClock.h"

using gt::net::ByteRateLimiter;
using gt::test::FakeClock;

namespace {

TEST(ByteRateLimiterTest, AllowanceScalesTheLimitToTheWindow) {
    FakeClock clock;
    struct Case {
        int windowMs, limit, expected;
    } const cases[] = {
        {1000, -1, 2147483647},
        {1000, 0, 0},
        {1000, 1000, 1000},
        {500, 1000, 500},
        {1000, 3000000, 3000000},  // limit x window beyond 32 bits
        {1000, 2147483647, 2147483647},
        {60000, 2147483647, 2147483647},
        {0, 1000, 0},
    };
    for (Case const& c : cases) {
        ByteRateLimiter limiter(c.windowMs);
        limiter.setLimit(c.limit);
        EXPECT_EQ(limiter.allowance(), c.expected) << c.windowMs << " ms, " << c.limit << " B/s";
    }
}

TEST(ByteRateLimiterTest, UsageCountsWithinAWindowOnly) {
    FakeClock clock(0);
    ByteRateLimiter limiter(1000);
    limiter.setLimit(1000);
    limiter.consume(300);
    EXPECT_EQ(limiter.allowance(), 700);
    limiter.consume(900);
    EXPECT_EQ(limiter.allowance(), 0);  // over-use never goes negative
    clock.set(999);
    EXPECT_EQ(limiter.allowance(), 0);
    clock.set(1000);
    EXPECT_EQ(limiter.allowance(), 1000);  // an expired window counts as unused
    clock.set(2500);
    limiter.consume(100);  // new window from 2000, keeping the phase
    EXPECT_EQ(limiter.allowance(), 900);
    clock.set(2999);
    EXPECT_EQ(limiter.allowance(), 900);
    clock.set(3000);
    EXPECT_EQ(limiter.allowance(), 1000);
}

TEST(ByteRateLimiterTest, UnlimitedIgnoresUsage) {
    ByteRateLimiter limiter(1000);
    limiter.consume(2147483647);
    limiter.consume(2147483647);
    EXPECT_EQ(limiter.allowance(), 2147483647);
    limiter.setLimit(10);
    EXPECT_EQ(limiter.allowance(), 0);
}

}  // namespace
