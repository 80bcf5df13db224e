#include "tunnel/encrypt/Encryptor.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::core::Binary;
using gt::core::String;
using gt::test::bin;
using gt::test::hex;
using tunnel::Encryptor;

namespace {

// Vectors made with a separate implementation of the cipher: key = the
// characters 8..23 of md5hex(word + message key), TEA of 16 cycles,
// '-' padding and a count byte.
std::string const kPlain = "{\"jsonrpc\":\"2.0\",\"method\":\"ping\"}";
char16_t const kMessageKey[] = u"0123456789abcdef1700000000";

struct Vector {
    char16_t const* spec;
    char const* cipherHex;
};

TEST(Encryptor, EncryptsToIndependentVectorsAndBack) {
    Vector const vectors[] = {
        {u"tea(abc)", "b10748380664e09b7edc0cb5845ae21421878d8ce13f8a84445aac07759ecac710a9147833f756d507"},
        {u"  TEA(abc)\t",
         "b10748380664e09b7edc0cb5845ae21421878d8ce13f8a84445aac07759ecac710a9147833f756d507"},
        {u"tea(a); Tea(b) ",
         "58b9e8db4866399da45b30bf16eebdba6bcbba0ab267d41ff53b0dd7f80e5c2b16d7fee112fa058ec313d4ef8d7d51b90"
         "7"},
        {u"rot13(x);tea(a);;unknown;tea(b)",
         "58b9e8db4866399da45b30bf16eebdba6bcbba0ab267d41ff53b0dd7f80e5c2b16d7fee112fa058ec313d4ef8d7d51b90"
         "7"},
        {u"tea", "9b178ed1c2299b3880d0ec36990a415d1690557033980c6ba9a0df0c6f1f4fec251dbb801ea349e007"},
        {u"tea()", "9b178ed1c2299b3880d0ec36990a415d1690557033980c6ba9a0df0c6f1f4fec251dbb801ea349e007"},
    };
    for (Vector const& v : vectors) {
        SCOPED_TRACE(gt::test::utf8(v.spec));
        Encryptor encryptor(v.spec);
        Binary cipher = encryptor.encrypt(bin(kPlain), kMessageKey);
        EXPECT_EQ(hex(cipher), v.cipherHex);
        EXPECT_EQ(encryptor.decrypt(cipher, kMessageKey), bin(kPlain));
    }
}

TEST(Encryptor, SpecWithoutTeaStepsPassesDataThrough) {
    for (char16_t const* spec : {u"", u"   ", u";;", u"rot13(a)", u"teax(a)", u"xtea"}) {
        Encryptor encryptor(spec);
        EXPECT_FALSE(encryptor.hasSteps());
        EXPECT_EQ(encryptor.encrypt(bin(kPlain), kMessageKey), bin(kPlain));
        EXPECT_EQ(encryptor.decrypt(bin(kPlain), kMessageKey), bin(kPlain));
    }
    EXPECT_EQ(Encryptor().encrypt(bin("x"), u"k"), bin("x"));
}

TEST(Encryptor, RoundTripsEveryLengthAndKeepsMessagesApart) {
    Encryptor encryptor(u"tea(one);tea(two);tea(three)");
    for (int length = 0; length <= 33; ++length) {
        Binary data(length, 'a');
        for (int i = 0; i < length; ++i)
            data[i] = static_cast<char>(i * 37);
        Binary cipher = encryptor.encrypt(data, u"m1");
        EXPECT_EQ(encryptor.decrypt(cipher, u"m1"), data) << length;
        if (length == 0) {
            EXPECT_TRUE(cipher.isEmpty());
            continue;
        }
        EXPECT_NE(encryptor.encrypt(data, u"m2"), cipher) << length;
    }
}

TEST(Encryptor, WrongMessageKeyOrDamagedInputGivesGarbageOrEmptyNeverThrows) {
    Encryptor encryptor(u"tea(a);tea(b)");
    Binary cipher = encryptor.encrypt(bin(kPlain), u"right");
    EXPECT_NE(encryptor.decrypt(cipher, u"wrong"), bin(kPlain));
    // A length the cipher cannot have: the first decrypt step yields nothing.
    EXPECT_TRUE(encryptor.decrypt(cipher.left(cipher.length() - 3), u"right").isEmpty());
    EXPECT_TRUE(encryptor.decrypt(bin("plain text, never encrypted"), u"right").isEmpty());
}

TEST(Encryptor, TeaKeyIsTheMiddleOfTheMd5Text) {
    // md5("abc") = 900150983cd24fb0d6963f7d28e17f72
    EXPECT_EQ(Encryptor::teaKey(u"abc"), bin("3cd24fb0d6963f7d"));
}

}  // namespace
