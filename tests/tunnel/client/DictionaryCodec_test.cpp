#include "tunnel/client/DictionaryCodec.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Text.h"

using namespace tunnel;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::bytes;
using gt::test::raw;

namespace {
std::string entry(std::string const& key, std::string const& value) {
    std::string out = key + std::string(1, '\0');
    unsigned n = static_cast<unsigned>(value.size());
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((n >> (8 * i)) & 0xFF);
    return out + value;
}
}  // namespace

TEST(DictionaryCodec, EncodesKnownByteVectors) {
    Dictionary<Binary> d;
    d.set(u"method", Binary("ping"));
    Binary out("junk");
    encodeDictionary(d, &out, false);
    EXPECT_EQ(bytes(out), std::string("method\0\x04\0\0\0ping", 15));

    encodeDictionary(Dictionary<Binary>(), &out, false);
    EXPECT_EQ(out.length(), 0);

    Dictionary<Binary> emptyEntry;
    emptyEntry.set(u"", Binary());
    encodeDictionary(emptyEntry, &out, false);
    EXPECT_EQ(bytes(out), std::string(5, '\0'));

    encodeDictionary(d, &out, true);
    EXPECT_EQ(bytes(out), std::string("\xDA\xDA\0\0", 4) + entry("method", "ping"));
}

TEST(DictionaryCodec, WritesKeysInDictionaryOrderAndValuesVerbatim) {
    Dictionary<Binary> d;
    d.set(u"b", raw(std::string("\0\xFF", 2)));
    d.set(u"a", Binary());
    d.set(String::fromUtf8("中"), Binary("x"));
    Binary out;
    encodeDictionary(d, &out, false);
    // UTF-16 little-endian byte order: "中" (2D 4E) sorts before "a" (61 00).
    EXPECT_EQ(bytes(out), entry("\xE4\xB8\xAD", "x") + entry("a", "") + entry("b", std::string("\0\xFF", 2)));

    Dictionary<Binary> back;
    EXPECT_TRUE(decodeDictionary(out, &back, false));
    EXPECT_EQ(back.count(), 3);
    EXPECT_EQ(back.get(u"b"), raw(std::string("\0\xFF", 2)));
    EXPECT_EQ(back.get(String::fromUtf8("中")), Binary("x"));
}

TEST(DictionaryCodec, StringFormRoundTrips) {
    Dictionary<String> d;
    d.set(u"error_msg", String::fromUtf8("隧道不存在"));
    d.set(u"k", String());
    Binary out;
    encodeDictionary(d, &out, true);
    Dictionary<String> back;
    EXPECT_TRUE(decodeDictionary(out, &back, true));
    EXPECT_EQ(back.count(), 2);
    EXPECT_EQ(back.get(u"error_msg"), String::fromUtf8("隧道不存在"));
    EXPECT_TRUE(back.find(u"k") != nullptr);
}

TEST(DictionaryCodec, DecodeKeepsEntriesBeforeTheFirstBadOne) {
    std::string const good = entry("a", "1");
    struct Case {
        char const* name;
        std::string data;
    } const cases[] = {
        {"value runs past the end", good + entry("b", "22").substr(0, 7)},
        {"huge length", good + std::string("b\0\xFF\xFF\xFF\x7F", 6)},
        {"length just past the end", good + std::string("b\0\x02\0\0\0x", 7)},
        {"negative length", good + std::string("b\0\xFF\xFF\xFF\xFF", 6)},
        {"cut length field", good + std::string("b\0\x01\0", 4)},
        {"key without terminator", good + "bcd"},
    };
    for (auto const& c : cases) {
        Dictionary<Binary> out;
        out.set(u"stale", Binary("x"));
        EXPECT_FALSE(decodeDictionary(raw(c.data), &out, false)) << c.name;
        EXPECT_EQ(out.count(), 1) << c.name;
        EXPECT_EQ(out.get(u"a"), Binary("1")) << c.name;
    }
}

TEST(DictionaryCodec, LaterDuplicateWinsAndEmptyInputIsEmpty) {
    Dictionary<Binary> out;
    EXPECT_TRUE(decodeDictionary(raw(entry("k", "old") + entry("k", "new")), &out, false));
    EXPECT_EQ(out.count(), 1);
    EXPECT_EQ(out.get(u"k"), Binary("new"));

    EXPECT_TRUE(decodeDictionary(Binary(), &out, false));
    EXPECT_TRUE(out.isEmpty());
}

TEST(DictionaryCodec, MagicIsRequiredBeforeEveryEntry) {
    std::string const magic("\xDA\xDA\0\0", 4);
    Dictionary<Binary> out;
    EXPECT_FALSE(decodeDictionary(raw(magic + entry("a", "1") + entry("b", "2")), &out, true));
    EXPECT_EQ(out.count(), 1);
    EXPECT_FALSE(decodeDictionary(raw(entry("a", "1")), &out, true));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_FALSE(decodeDictionary(raw(magic.substr(0, 3)), &out, true));
    EXPECT_TRUE(out.isEmpty());
}

TEST(DictionaryCodec, ReadEntryChecksItsArguments) {
    Binary const data = raw(entry("x", "") + entry("key", "val"));
    Binary key;
    Binary value;
    int consumed = 0;
    EXPECT_TRUE(readDictionaryEntry(data, 6, &key, &value, &consumed, false));
    EXPECT_EQ(key, Binary("key"));
    EXPECT_EQ(value, Binary("val"));
    EXPECT_EQ(consumed, 11);
    EXPECT_FALSE(readDictionaryEntry(data, 6, nullptr, &value, &consumed, false));
    EXPECT_FALSE(readDictionaryEntry(data, 6, &key, nullptr, &consumed, false));
    EXPECT_FALSE(readDictionaryEntry(data, 6, &key, &value, nullptr, false));
    EXPECT_FALSE(readDictionaryEntry(data, -1, &key, &value, &consumed, false));
    EXPECT_FALSE(readDictionaryEntry(data, data.length(), &key, &value, &consumed, false));
    EXPECT_FALSE(readDictionaryEntry(data, data.length() + 5, &key, &value, &consumed, false));
}

// 00 ends a key on the wire, so a key holding one is refused rather than cut
// (cut, "ab\0c" and "ab" would be the same key on the other side).
TEST(DictionaryCodec, RefusesAKeyWithAZeroByte) {
    Binary out("kept");
    EXPECT_FALSE(writeDictionaryEntry(&out, raw(std::string("ab\0c", 4)), Binary("v"), false));
    EXPECT_FALSE(writeDictionaryEntry(&out, raw(std::string("\0", 1)), Binary("v"), true));
    EXPECT_EQ(bytes(out), "kept");
    EXPECT_TRUE(writeDictionaryEntry(&out, Binary("ab"), Binary("v"), false));
    EXPECT_EQ(bytes(out), "kept" + entry("ab", "v"));

    Dictionary<Binary> binaries;
    binaries.set(u"ab", Binary("1"));
    binaries.set(String(u"ab\0c", 4), Binary("2"));
    Dictionary<String> texts;
    texts.set(u"a", String(u"1"));
    texts.set(String(u"\0", 1), String(u"2"));
    for (bool magic : {false, true}) {
        Binary encoded("junk");
        EXPECT_FALSE(encodeDictionary(binaries, &encoded, magic));
        EXPECT_EQ(encoded.length(), 0);
        encoded = Binary("junk");
        EXPECT_FALSE(encodeDictionary(texts, &encoded, magic));
        EXPECT_EQ(encoded.length(), 0);
    }
    EXPECT_FALSE(encodeDictionary(Dictionary<Binary>(), nullptr, false));
}
