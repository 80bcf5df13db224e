#include "gt/util/Clock.h"

#include <gtest/gtest.h>

namespace {

TEST(ClockTest, MillisecondsMoveForward) {
    int first = gt::util::currentMilliseconds();
    int second = gt::util::currentMilliseconds();
    EXPECT_GE(second - first, 0);
    EXPECT_LT(second - first, 1000);
}

}  // namespace
