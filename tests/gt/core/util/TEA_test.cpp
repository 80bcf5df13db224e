#include "gt/core/util/TEA.h"

#include <gtest/gtest.h>

#include <string>

#include "gt/core/util/MD5.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::core::TEA;
using gt::test::bytes;
using gt::test::hex;

namespace {

// Keys are characters 8..23 of the MD5 text of a word.
Binary keyOf(char const* word) {
    Binary digest = gt::core::md5Hex(Binary(word)).toBinary();
    return digest.mid(8, 16);
}

Binary plain(int length) {
    Binary b;
    for (int i = 0; i < length; ++i)
        b.append(static_cast<char>('A' + i * 7 % 26));
    return b;
}

}  // namespace

TEST(TEA, KnownCipherTexts) {
    Binary key = keyOf("abc");
    ASSERT_EQ(bytes(key), "3cd24fb0d6963f7d");
    struct Case {
        char const* plain;
        char const* cipher;
    } cases[] = {{"a", "21737877df226fee07"}, {"12345678", "1c94276ba302935900"}};
    for (Case const& c : cases) {
        Binary out;
        ASSERT_TRUE(TEA::encrypt(&out, Binary(c.plain), key));
        EXPECT_EQ(hex(out), c.cipher) << c.plain;
        Binary back;
        ASSERT_TRUE(TEA::decrypt(&back, out, key));
        EXPECT_EQ(bytes(back), c.plain);
    }
}

TEST(TEA, RoundTripsEveryLengthUpTo17) {
    Binary key = keyOf("secret");
    for (int length = 0; length <= 17; ++length) {
        Binary in = plain(length);
        Binary cipher;
        ASSERT_TRUE(TEA::encrypt(&cipher, in, key)) << length;
        int padding = (8 - length % 8) % 8;
        if (length == 0) {
            EXPECT_TRUE(cipher.isEmpty());
        } else {
            ASSERT_EQ(cipher.length(), length + padding + 1) << length;
            EXPECT_EQ(cipher[cipher.length() - 1], static_cast<char>(padding)) << length;
        }
        Binary back("junk");
        ASSERT_TRUE(TEA::decrypt(&back, cipher, key)) << length;
        EXPECT_EQ(back, in) << length;
    }
}

TEST(TEA, WorksInPlace) {
    Binary key = keyOf("abc");
    Binary data("hello, world");
    ASSERT_TRUE(TEA::encrypt(&data, data, key));
    EXPECT_EQ(data.length(), 17);
    ASSERT_TRUE(TEA::decrypt(&data, data, key));
    EXPECT_EQ(bytes(data), "hello, world");
}

TEST(TEA, RefusesBadKeysAndNullOutput) {
    Binary in("data");
    for (int keyLength : {0, 15, 17}) {
        Binary out("untouched");
        EXPECT_FALSE(TEA::encrypt(&out, in, Binary(keyLength, 'k'))) << keyLength;
        EXPECT_FALSE(TEA::decrypt(&out, Binary(9, 0), Binary(keyLength, 'k'))) << keyLength;
        EXPECT_EQ(bytes(out), "untouched");
    }
    EXPECT_FALSE(TEA::encrypt(nullptr, in, Binary(16, 'k')));
    EXPECT_FALSE(TEA::decrypt(nullptr, in, Binary(16, 'k')));
}

TEST(TEA, DecryptChecksLengthAndCount) {
    Binary key = keyOf("abc");
    auto withCount = [](int blocks, int count) {
        Binary b(blocks * 8, 'x');
        b.append(static_cast<char>(count));
        return b;
    };
    struct Case {
        char const* what;
        Binary in;
        bool ok;
        int length;
    } cases[] = {
        {"empty", Binary(), true, 0},
        {"single 0x00", Binary(1, 0), true, 0},
        {"single 0x01", Binary(1, 1), false, 0},
        {"10 bytes", Binary(10, 0), false, 0},
        {"count 0x80", withCount(1, 0x80), false, 0},
        {"count 0xFF", withCount(2, 0xFF), false, 0},
        {"count above remainder", withCount(1, 9), false, 0},
        {"count equal to remainder", withCount(2, 16), true, 0},
        {"count 8 of 16 accepted", withCount(2, 8), true, 8},
        {"count 0", withCount(2, 0), true, 16},
    };
    for (Case const& c : cases) {
        Binary out("previous");
        EXPECT_EQ(TEA::decrypt(&out, c.in, key), c.ok) << c.what;
        EXPECT_EQ(out.length(), c.length) << c.what;
    }
}
