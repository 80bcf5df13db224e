#include "gt/core/util/MD5.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Text.h"

using gt::core::Binary;
using gt::core::md5Hex;
using gt::test::bin;
using gt::test::utf8;

TEST(MD5, Rfc1321TestSuite) {
    struct Case {
        std::string input;
        char const* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (Case const& c : cases)
        EXPECT_EQ(utf8(md5Hex(bin(c.input))), c.digest) << c.input;
}

TEST(MD5, PaddingBoundaries) {
    // Lengths around the 56-byte point where the length no longer fits in
    // the last block, and around whole blocks.
    struct Case {
        int length;
        char const* digest;
    } cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
        {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
        {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
        {127, "020406e1d05cdc2aa287641f7ae2cc39"}, {128, "e510683b3f5ffe4093d021808bc6ff70"},
    };
    for (Case const& c : cases)
        EXPECT_EQ(utf8(md5Hex(Binary(c.length, 'a'))), c.digest) << c.length;
}

TEST(MD5, RangeIsClipped) {
    Binary data("xabcx");
    struct Case {
        int position, count;
        char const* digest;
    } cases[] = {
        {1, 3, "900150983cd24fb0d6963f7d28e17f72"},    // abc
        {-5, 99, "8debabf80a7e2680c7954c7a6bc7f25e"},  // xabcx
        {0, -1, "d41d8cd98f00b204e9800998ecf8427e"},         {9, 3, "d41d8cd98f00b204e9800998ecf8427e"},
        {4, 2147483647, "9dd4e461268c8034f5c8564e155c67a6"},  // x
    };
    for (Case const& c : cases) {
        EXPECT_EQ(utf8(md5Hex(data, c.position, c.count)), c.digest) << c.position << "," << c.count;
    }
    EXPECT_EQ(md5Hex(data, -5, 99), md5Hex(data));
}
