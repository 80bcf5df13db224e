#include "gt/core/util/GUID.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Text.h"

using gt::core::GUID;
using gt::test::utf8;

TEST(GUID, TextForms) {
    GUID g;
    std::string plain = utf8(g.toString());
    std::string dashed = utf8(g.toDashedString());
    ASSERT_EQ(plain.size(), 32u);
    EXPECT_EQ(plain.find_first_not_of("0123456789abcdef"), std::string::npos) << plain;
    ASSERT_EQ(dashed.size(), 36u);
    for (size_t dash : {8u, 13u, 18u, 23u})
        EXPECT_EQ(dashed[dash], '-') << dashed;
    std::string undashed;
    for (char c : dashed) {
        if (c != '-') undashed += c;
    }
    EXPECT_EQ(undashed, plain);
    EXPECT_EQ(dashed[14], '4');  // random version
    EXPECT_NE(plain, std::string(32, '0'));
}

TEST(GUID, ConsecutiveValuesDiffer) {
    GUID a, b;
    EXPECT_NE(a.toString(), b.toString());
}
