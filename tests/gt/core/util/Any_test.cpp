#include "gt/core/util/Any.h"

#include <gtest/gtest.h>

#include <limits>

using gt::core::Any;
using gt::core::Array;
using gt::core::BadAnyCastException;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;
using gt::core::Type;

namespace {

Array<Any> twoStrings() {
    Array<Any> array;
    array.add(Any(u"one")).add(Any(u"two"));
    return array;
}

}  // namespace

TEST(Any, HeldTypeAndCast) {
    EXPECT_TRUE(Any().isEmpty());
    EXPECT_EQ(Any().type(), Type());
    EXPECT_EQ(Any(static_cast<signed char>(1)).type(), Type(typeid(signed char)));
    EXPECT_EQ(Any(short(1)).type(), Type(typeid(short)));
    EXPECT_EQ(Any(1).type(), Type(typeid(int)));
    EXPECT_EQ(Any(1LL).type(), Type(typeid(long long)));
    EXPECT_EQ(Any(1.0).type(), Type(typeid(double)));
    EXPECT_EQ(Any(true).type(), Type(typeid(bool)));
    EXPECT_EQ(Any(u"text").type(), Type(typeid(String)));  // a literal is text, not a bool
    EXPECT_EQ(Any(Binary("b")).type(), Type(typeid(Binary)));
    EXPECT_EQ(Any(Array<Any>()).type(), Type(typeid(Array<Any>)));
    EXPECT_EQ(Any(Dictionary<Any>()).type(), Type(typeid(Dictionary<Any>)));

    Any five(5);
    EXPECT_EQ(five.cast<int>(), 5);
    five.cast<int>() = 6;
    EXPECT_EQ(five.cast<int>(), 6);
    EXPECT_THROW(five.cast<long long>(), BadAnyCastException);  // no conversion in cast
    EXPECT_THROW(five.cast<String>(), BadAnyCastException);
    EXPECT_THROW(Any().cast<int>(), BadAnyCastException);
    try {
        five.cast<String>();
    } catch (BadAnyCastException const& e) {
        EXPECT_EQ(e.message(), BadAnyCastException(Type(typeid(int)), Type(typeid(String))).message());
    }
}

TEST(Any, CopiesAreDeep) {
    Any source(twoStrings());
    Any copy(source);
    copy.cast<Array<Any> >()[0] = u"changed";
    EXPECT_EQ(source.cast<Array<Any> >()[0].cast<String>(), String(u"one"));
    EXPECT_EQ(copy.cast<Array<Any> >()[0].cast<String>(), String(u"changed"));

    Dictionary<Any> dict;
    dict.set(u"list", source);
    Any holder(dict);
    Any assigned;
    assigned = holder;
    assigned.cast<Dictionary<Any> >().find(u"list")->cast<Array<Any> >()[1] = 3;
    EXPECT_EQ(holder.cast<Dictionary<Any> >().get(u"list").cast<Array<Any> >()[1].cast<String>(),
              String(u"two"));
}

TEST(Any, AssignmentFromAValueInsideTheOldOne) {
    Any tree(twoStrings());
    tree = tree.cast<Array<Any> >()[1];  // the source lives in the value being replaced
    EXPECT_EQ(tree.cast<String>(), String(u"two"));

    Any list(twoStrings());
    list = list.cast<Array<Any> >()[0].cast<String>();
    EXPECT_EQ(list.cast<String>(), String(u"one"));
    list = 7LL;
    EXPECT_EQ(list.cast<long long>(), 7);
    list.reset();
    EXPECT_TRUE(list.isEmpty());
}

TEST(Any, MissingDictionaryKeyGivesTheSharedEmptyAny) {
    Dictionary<Any> dict;
    EXPECT_EQ(&dict.get(u"missing"), &Any::emptyAny());
    EXPECT_TRUE(dict.get(u"missing").isEmpty());
    EXPECT_EQ(dict.count(), 0);
}

TEST(Any, ToString) {
    struct Case {
        Any value;
        String text;
    } const cases[] = {
        {Any(static_cast<signed char>(-5)), u"-5"},
        {Any(short(-300)), u"-300"},
        {Any(70000), u"70000"},
        {Any(-9000000000LL), u"-9000000000"},
        {Any(0.1), u"0.1"},
        {Any(false), u"false"},
        {Any(true), u"true"},
        {Any(u"text"), u"text"},
        {Any(Binary("\xE4\xB8\xAD")), u"\u4E2D"},
        {Any(), u""},
        {Any(twoStrings()), u""},
        {Any(Dictionary<Any>()), u""},
    };
    int i = 0;
    for (Case const& c : cases)
        EXPECT_EQ(toString(c.value), c.text) << "case " << i++;
}

TEST(Any, ToBool) {
    struct Case {
        Any value;
        bool result;
    } const cases[] = {
        {Any(2.0), true},     {Any(0.5), false},           {Any(1.0), false},
        {Any(-1.0), false},   {Any(-1.5), true},           {Any(-3), true},
        {Any(0), false},      {Any(0LL), false},           {Any(short(2)), true},
        {Any(u"True"), true}, {Any(u"TRUE"), true},        {Any(u" true"), false},
        {Any(u"1"), false},   {Any(Binary("true")), true}, {Any(true), true},
        {Any(), false},       {Any(twoStrings()), false},
    };
    int i = 0;
    for (Case const& c : cases)
        EXPECT_EQ(toBool(c.value), c.result) << "case " << i++;
}

TEST(Any, ToIntAndToLong) {
    double const nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        Any value;
        int asInt;
        long long asLong;
    } const cases[] = {
        {Any((1LL << 32) + 5), 5, (1LL << 32) + 5},
        {Any(-2.9), -2, -2},
        {Any(2.9), 2, 2},
        {Any(u"  42abc"), 42, 42},
        {Any(u"x"), 0, 0},
        {Any(u"-9000000000"), -2147483647 - 1, -9000000000LL},
        {Any(u"99999999999"), 2147483647, 99999999999LL},
        {Any(Binary(" 17")), 17, 17},
        {Any(true), 1, 1},
        {Any(false), 0, 0},
        {Any(), 0, 0},
        {Any(-1), -1, -1},
        {Any(static_cast<signed char>(-128)), -128, -128},
        {Any(short(-32768)), -32768, -32768},
        {Any(1e300), 2147483647, 9223372036854775807LL},
        {Any(-1e300), -2147483647 - 1, -9223372036854775807LL - 1},
        {Any(nan), 0, 0},
        {Any(Dictionary<Any>()), 0, 0},
    };
    int i = 0;
    for (Case const& c : cases) {
        EXPECT_EQ(toInt(c.value), c.asInt) << "case " << i;
        EXPECT_EQ(toLong(c.value), c.asLong) << "case " << i;
        ++i;
    }
}
