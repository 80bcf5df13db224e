#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "gt/core/lang/Byte.h"
#include "gt/core/lang/Double.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Long.h"
#include "gt/core/lang/Short.h"

using namespace gt::core;

TEST(NumberFormat, IntegersTable) {
    EXPECT_EQ(Integer(-5).toString(), String(u"-5"));
    EXPECT_EQ(Integer(Integer::minValue()).toString(), String(u"-2147483648"));
    EXPECT_EQ(Long(Long::minValue()).toString(), String(u"-9223372036854775808"));
    EXPECT_EQ(Byte(-128).toString(), String(u"-128"));
    EXPECT_EQ(Short(32767).toString(), String(u"32767"));
    EXPECT_EQ(Integer(255).toHexString(), String(u"ff"));
    EXPECT_EQ(Integer(-1).toHexString(), String(u"-1"));
    EXPECT_EQ(Integer(-26).toHexString(), String(u"-1a"));
    EXPECT_EQ(Integer(Integer::minValue()).toHexString(), String(u"-80000000"));
    EXPECT_EQ(Long(4294967296LL).toHexString(), String(u"100000000"));
    EXPECT_EQ(Long(Long::minValue()).toHexString(), String(u"-8000000000000000"));
    EXPECT_EQ(Byte(-128).toHexString(), String(u"-80"));
}

TEST(NumberParse, DecimalTable) {
    EXPECT_EQ(Integer::parse(String(u"  -12xyz")), -12);
    EXPECT_EQ(Integer::parse(String(u"abc")), 0);
    EXPECT_EQ(Integer::parse(String(u"99999999999")), 2147483647);
    EXPECT_EQ(Integer(String(u"-2147483649")).value(), -2147483647 - 1);
    EXPECT_EQ(Byte(String(u"300")).value(), 44);
    EXPECT_EQ(Byte::parse(String(u"300")), 300);
    EXPECT_EQ(Short(String(u"70000")).value(), 4464);
    EXPECT_EQ(Long::parse(String(u"9223372036854775808")), Long::maxValue());
    EXPECT_EQ(Long::parse(String(u"-9223372036854775809")), Long::minValue());
    EXPECT_EQ(Byte::maxValue(), 127);
    EXPECT_EQ(Byte::minValue(), -128);
    EXPECT_EQ(Short::minValue(), -32768);
}

TEST(NumberParse, HexTable) {
    struct Case {
        char16_t const* text;
        long long value;
    } const cases[] = {
        {u"ff", 255},
        {u"FF", 255},
        {u"", 0},
        {u"-", 0},
        {u"-ff", -255},
        {u"g1", 1},
        {u"-1A", -26},
        {u"0x1A", 26},
        {u"1A ", 0},
        {u"ffffffffffffffff", -1},
        {u"8000000000000000", Long::minValue()},
        {u"-8000000000000000", Long::minValue()},
        {u"1ffffffffffffffff", -1},
    };
    for (auto const& c : cases)
        EXPECT_EQ(Integer::parseHex(String(c.text)), c.value);
}

TEST(NumberFormat, DoubleTable) {
    struct Case {
        double value;
        char16_t const* text;
    } const cases[] = {
        {0.1, u"0.1"},           {100, u"100"},      {1e20, u"1e+020"},
        {1e-5, u"1e-005"},       {-2.5, u"-2.5"},    {123456789012345678.0, u"1.23456789012346e+017"},
        {1e100, u"1e+100"},      {1e300, u"1e+300"}, {0, u"0"},
        {1.5e-300, u"1.5e-300"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(Double(c.value).toString(), String(c.text)) << c.value;
    EXPECT_EQ(Double(2.5).toString(2), String(u"2.50"));
    EXPECT_EQ(Double(2.5).toString(0), String(u"2"));
    EXPECT_EQ(Double(2.5).toString(-7), String(u"2"));
    EXPECT_EQ(Double(1.0).toString(100000).length(), 342);  // clamped to 340 decimals
}

TEST(NumberFormat, IgnoresProcessLocale) {
    char const* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale here";
    EXPECT_EQ(Double(1.5).toString(), String(u"1.5"));
    EXPECT_DOUBLE_EQ(Double::parse(String(u"1.5")), 1.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(NumberParse, DoubleTable) {
    EXPECT_DOUBLE_EQ(Double::parse(String(u" 1.25e2xyz")), 125.0);
    EXPECT_EQ(Double::parse(String(u"abc")), 0.0);
    EXPECT_TRUE(std::isinf(Double::parse(String(u"inf"))));
    EXPECT_TRUE(Double::isNaN(Double::parse(String(u"nan"))));
    EXPECT_TRUE(std::isinf(Double::parse(String(u"1e999"))));
    EXPECT_DOUBLE_EQ(String(u"-0.5").toDouble(), -0.5);
}

TEST(NumberCompare, DoubleHelpers) {
    EXPECT_TRUE(Double::equals(1.0, 1.0 + 1e-17));
    EXPECT_TRUE(Double::equals(1e-20, 2e-20));
    EXPECT_FALSE(Double::equals(1.0, 1.0001));
    EXPECT_TRUE(Double::isNaN(std::nan("")));
    EXPECT_EQ(Double::minValue(), -Double::maxValue());
    EXPECT_EQ(Double::epsilon(), std::ldexp(1.0, -52));
    EXPECT_LT(Double::negativeInfinity(), Double::minValue());
}
