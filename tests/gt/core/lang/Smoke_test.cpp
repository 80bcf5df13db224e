#include <gtest/gtest.h>
#include "gt/core/lang/String.h"
TEST(Smoke, Builds) { EXPECT_EQ(gt::core::String(u"a").length(), 1); }
