#include "gt/core/util/Map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "gt/core/lang/String.h"
#include "gt/core/util/HashMap.h"
#include "gt/core/util/Set.h"

using gt::core::Char;
using gt::core::HashMap;
using gt::core::Map;
using gt::core::Set;
using gt::core::String;

TEST(Map, IntegerKeysIterateInNumericOrder) {
    Map<long long, String> map;
    map.set(10, u"ten");
    map.set(-5, u"minus five");
    map.set(3, u"three");
    std::vector<long long> keys;
    for (auto const& entry : map)
        keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<long long>{-5, 3, 10}));
}

TEST(Map, LookupDoesNotInsertAndCopiesAreDeep) {
    Map<short, String> map;
    EXPECT_EQ(map.find(7), nullptr);
    EXPECT_FALSE(map.contains(7));
    EXPECT_EQ(map.count(), 0);

    map.set(7, u"a");
    EXPECT_FALSE(map.insert(7, u"b"));  // insert keeps an existing value
    EXPECT_EQ(*map.find(7), String(u"a"));
    map.set(7, u"c");  // set replaces it
    EXPECT_EQ(*map.find(7), String(u"c"));

    Map<short, String> copy(map);
    *copy.find(7) = u"copy";
    EXPECT_EQ(*map.find(7), String(u"c"));
    EXPECT_TRUE(map.remove(7));
    EXPECT_FALSE(map.remove(7));
    EXPECT_TRUE(map.isEmpty());
    EXPECT_EQ(copy.count(), 1);
}

TEST(Set, RepeatedValuesAreIgnoredAndIterationIsOrdered) {
    Set<Char> set;
    EXPECT_TRUE(set.add(0x3F));
    EXPECT_TRUE(set.add(0x23));
    EXPECT_TRUE(set.add(0x2F));
    EXPECT_FALSE(set.add(0x23));
    EXPECT_EQ(set.count(), 3);
    EXPECT_EQ(std::vector<Char>(set.begin(), set.end()), (std::vector<Char>{0x23, 0x2F, 0x3F}));
    EXPECT_TRUE(set.contains(0x2F));
    EXPECT_FALSE(set.contains(0x2E));

    Set<long long> ids{5, 1, 5};
    EXPECT_EQ(ids.count(), 2);
    EXPECT_TRUE(ids.remove(5));
    EXPECT_FALSE(ids.contains(5));
}

TEST(HashMap, InsertLookupRemove) {
    HashMap<int, String> table;
    EXPECT_TRUE(table.insert(4, u"four"));
    EXPECT_FALSE(table.insert(4, u"other"));
    EXPECT_EQ(*table.find(4), String(u"four"));
    EXPECT_EQ(table.find(5), nullptr);
    EXPECT_EQ(table.count(), 1);
    for (int fd = 100; fd < 200; ++fd)
        table.insert(fd, u"x");
    EXPECT_EQ(table.count(), 101);
    int seen = 0;
    for (auto const& entry : table)
        seen += entry.first >= 100 ? 1 : 0;
    EXPECT_EQ(seen, 100);
    EXPECT_TRUE(table.remove(150));
    EXPECT_FALSE(table.contains(150));
    EXPECT_EQ(table.count(), 100);
}

TEST(HashMap, StringKeysHashByTheirText) {
    HashMap<String, int> table;
    EXPECT_TRUE(table.insert(String(u"\u4e2d"), 1));
    EXPECT_TRUE(table.insert(String(u"a"), 2));
    EXPECT_FALSE(table.insert(String(u"a"), 3));
    String built(u"\u4e2d");
    EXPECT_EQ(*table.find(built), 1);  // a distinct String of equal text finds it
    EXPECT_EQ(table.find(String(u"b")), nullptr);
    EXPECT_EQ(table.find(String(u"a\0", 2)), nullptr);  // the inner NUL counts
}
