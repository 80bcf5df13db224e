#include "gt/core/util/Dictionary.h"

#include <gtest/gtest.h>

#include <vector>

#include "gt/core/lang/Binary.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;

namespace {

std::vector<String> keysOf(Dictionary<String> const& dict) {
    std::vector<String> keys;
    for (auto const& entry : dict)
        keys.push_back(entry.first);
    return keys;
}

}  // namespace

TEST(Dictionary, KeysFollowTheByteOrderOfTheText) {
    Dictionary<String> dict;
    for (char16_t const* key : {u"b", u"a", u"B", u"ab"})
        dict.set(key, key);
    EXPECT_EQ(keysOf(dict), (std::vector<String>{u"B", u"a", u"ab", u"b"}));

    // U+0100 is stored as the bytes 00 01, before "A" (41 00); U+00FF (FF 00) comes last.
    Dictionary<String> wide;
    wide.set(String(1, u'\u00FF'), u"ff");
    wide.set(u"A", u"A");
    wide.set(String(1, u'\u0100'), u"100");
    wide.set(u"\u4E2D", u"zhong");  // bytes 2D 4E
    EXPECT_EQ(keysOf(wide),
              (std::vector<String>{String(1, u'\u0100'), u"\u4E2D", u"A", String(1, u'\u00FF')}));
}

TEST(Dictionary, GetOfAMissingKeyInsertsNothing) {
    Dictionary<String> dict;
    dict.set(u"k", u"v");
    String const& missing = dict.get(u"nope");
    EXPECT_TRUE(missing.isEmpty());
    EXPECT_EQ(dict.count(), 1);
    EXPECT_FALSE(dict.contains(u"nope"));
    EXPECT_EQ(&dict.get(u"other"), &missing);  // one shared empty value
    EXPECT_EQ(dict.get(u"k"), String(u"v"));
    EXPECT_EQ(dict.find(u"nope"), nullptr);

    Dictionary<Binary> bytes;
    EXPECT_TRUE(bytes.get(u"x").isEmpty());
    EXPECT_EQ(bytes.count(), 0);
}

TEST(Dictionary, SetReplacesAndCopiesAreDeep) {
    Dictionary<String> dict;
    dict.set(u"a", u"1");
    dict.set(u"b", u"2");
    dict.set(u"a", u"3");
    EXPECT_EQ(dict.count(), 2);
    EXPECT_EQ(dict.get(u"a"), String(u"3"));

    Dictionary<String> copy(dict);
    copy.set(u"a", u"changed");
    *copy.find(u"b") = u"changed too";
    EXPECT_EQ(dict.get(u"a"), String(u"3"));
    EXPECT_EQ(dict.get(u"b"), String(u"2"));

    EXPECT_TRUE(copy.remove(u"a"));
    EXPECT_FALSE(copy.remove(u"a"));
    copy.clear();
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_EQ(dict.count(), 2);
}
