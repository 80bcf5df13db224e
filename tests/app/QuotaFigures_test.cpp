// The quota figures the client shows, at the ends of what the cloud may send.
#include "app/QuotaFigures.h"

#include <gtest/gtest.h>

#include <climits>

using tunnel::QuotaFigures;
using tunnel::QuotaInfo;

namespace {

constexpr long long kMax = LLONG_MAX;
constexpr long long kMin = LLONG_MIN;

QuotaInfo bandwidthQuota(int limit, int used) {
    QuotaInfo quota;
    quota.limit.bandwidth = limit;
    quota.used.bandwidth = used;
    return quota;
}

}  // namespace

TEST(QuotaFigures, TrafficLeftIsTheDifferenceHeldToTheRange) {
    struct Case {
        char const* name;
        long long limit, used, left;
    } const cases[] = {
        {"some left", 3000, 1000, 2000},
        {"used beyond the limit", 1000, 3000, -2000},
        {"nothing at all", 0, 0, 0},
        {"lowest limit", kMin, 1, kMin},
        {"lowest limit, highest used", kMin, kMax, kMin},
        {"highest limit, used below zero", kMax, -1, kMax},
        {"highest limit, lowest used", kMax, kMin, kMax},
        {"used below zero", 0, kMin, kMax},
        {"both at the top", kMax, kMax, 0},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QuotaFigures::trafficLeft(c.limit, c.used), c.left);
    }
}

// Traffic billing draws on both the free and the bought traffic: all four
// figures count, summed exactly before the result is held to the range.
TEST(QuotaFigures, TrafficBillingLeftSumsFreeAndBoughtExactly) {
    struct Case {
        char const* name;
        long long limitFree, limitPaid, usedFree, usedPaid, left;
    } const cases[] = {
        {"free and bought", 3LL << 30, 1LL << 30, 1LL << 30, 0, 3LL << 30},
        {"free used up, bought left", 1000, 500, 1200, 100, 200},
        {"nothing", 0, 0, 0, 0, 0},
        {"both limits at the top", kMax, kMax, 0, 0, kMax},
        {"back in range after the sum", kMax, 1, kMax, 0, 1},
        {"both limits at the bottom", kMin, kMin, 0, 0, kMin},
        {"used at the bottom", 0, 0, kMin, 0, kMax},
        {"used at both ends", 0, 0, kMin, kMax, 1},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        QuotaInfo quota;
        quota.limit.traffic_free = c.limitFree;
        quota.limit.traffic_paid = c.limitPaid;
        quota.used.traffic_free = c.usedFree;
        quota.used.traffic_paid = c.usedPaid;
        EXPECT_EQ(QuotaFigures::trafficLeft(quota), c.left);
    }
}

// The spin box's maximum and the tip's "left" are one budget: the tip
// never says less than nothing, and the mapping keeps its own bandwidth
// when the plan shrank.
TEST(QuotaFigures, BandwidthMaximumAndLeftShareOneBudget) {
    struct Case {
        char const* name;
        int limit, used, own, value;
        int maximum, left;
    } const cases[] = {
        {"new mapping, room left", 10, 3, 0, 2, 7, 5},
        {"new mapping, all in use", 5, 5, 0, 0, 0, 0},
        {"new mapping, no plan", 0, 0, 0, 0, 0, 0},
        {"used beyond the limit", 0, 3, 0, 0, 0, 0},
        {"edit, room left", 4, 3, 1, 1, 2, 1},
        {"edit, all in use", 5, 5, 5, 5, 5, 0},
        {"edit, lowered", 5, 5, 5, 2, 5, 3},
        {"edit, plan shrank", 2, 5, 5, 5, 5, 0},
        {"edit, plan shrank, lowered", 2, 5, 5, 3, 5, 2},
        {"value beyond the maximum", 1, 0, 0, INT_MAX, 1, 0},
        {"highest limit plus own", INT_MAX, 0, 5, 0, INT_MAX, INT_MAX},
        {"highest limit, used below zero", INT_MAX, INT_MIN, 0, 0, INT_MAX, INT_MAX},
        {"lowest limit", INT_MIN, 0, 0, 0, 0, 0},
        {"lowest limit, highest used", INT_MIN, INT_MAX, 0, 0, 0, 0},
        {"lowest limit keeps own", INT_MIN, INT_MAX, INT_MAX, 0, INT_MAX, INT_MAX},
        {"value below zero", 3, 0, 0, INT_MIN, 3, INT_MAX},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        QuotaInfo const quota = bandwidthQuota(c.limit, c.used);
        EXPECT_EQ(QuotaFigures::bandwidthMaximum(quota, c.own), c.maximum);
        EXPECT_EQ(QuotaFigures::bandwidthLeft(quota, c.own, c.value), c.left);
    }
}
