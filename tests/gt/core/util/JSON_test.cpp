#include "gt/core/util/JSON.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <typeinfo>

#include "gt/core/util/JsonBuilder.h"
#include "gt/core/util/JsonParser.h"
#include "support/Text.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::JSON;
using gt::core::JsonBuilder;
using gt::core::JsonParser;
using gt::core::String;
using gt::core::Type;
using gt::test::str;
using gt::test::utf8;

namespace {

// UTF-8 bytes to text, keeping NUL bytes as NUL units.
String withNul(std::string const& bytes) {
    String out;
    size_t start = 0;
    for (size_t zero; (zero = bytes.find('\0', start)) != std::string::npos; start = zero + 1) {
        out.append(String::fromUtf8(bytes.data() + start, static_cast<int>(zero - start)));
        out.append(u'\0');
    }
    out.append(String::fromUtf8(bytes.data() + start, static_cast<int>(bytes.size() - start)));
    return out;
}

std::string encoded(Any const& value, bool pretty) {
    String out;
    EXPECT_TRUE(JSON::encode(value, &out, pretty));
    return utf8(out);
}

Array<Any> list(std::initializer_list<Any> values) {
    Array<Any> array;
    for (Any const& v : values)
        array.add(v);
    return array;
}

// A small tree with every kind of value.
Dictionary<Any> sample() {
    Dictionary<Any> inner;
    inner.set(u"e", Any());
    Dictionary<Any> root;
    root.set(u"d", list({Any(true), Any(inner)}));
    root.set(u"c", Dictionary<Any>());
    root.set(u"b", Array<Any>());
    root.set(u"a", Any(static_cast<signed char>(1)));
    return root;
}

}  // namespace

TEST(JsonBuilder, CompactOutputHasNoWhitespace) {
    Dictionary<Any> object;
    object.set(u"b", list({Any(static_cast<signed char>(1)), Any(2.5), Any(true), Any()}));
    object.set(u"a", str("x\"y\\z/\r\n\f\b\t\x01\xC3\xA9 "));
    object.set(u"B", Any(false));
    struct Case {
        Any value;
        char const* json;
    } const cases[] = {
        {Any(object),
         "{\"B\":false,\"a\":\"x\\\"y\\\\z/\\r\\n\\f\\b\\t\\u0001\xC3\xA9 \",\"b\":[1,2.5,true,null]}"},
        {Any(Dictionary<Any>()), "{}"},
        {Any(Array<Any>()), "[]"},
        {Any(Binary("\x00\xFF secret", 9)), "\"<BINARY>\""},
        {Any(static_cast<signed char>(-5)), "-5"},
        {Any(short(-300)), "-300"},
        {Any(70000), "70000"},
        {Any(-9000000000LL), "-9000000000"},
        {Any(0.1), "0.1"},
        {Any(1e20), "1e+020"},
        {Any(u"bare"), "\"bare\""},
        {Any(str("\\n")), "\"\\\\n\""},  // a backslash and n: two backslashes and n
        {Any(u"a/b"), "\"a/b\""},
        {Any(), "null"},
        {Any(list({Any(list({})), Any(Dictionary<Any>())})), "[[],{}]"},
    };
    for (Case const& c : cases)
        EXPECT_EQ(encoded(c.value, false), c.json);
}

TEST(JsonBuilder, PrettyOutputUsesCrLfAndOneTabPerLevel) {
    EXPECT_EQ(encoded(Any(sample()), true),
              "{\r\n"
              "\t\"a\":1,\r\n"
              "\t\"b\":[\r\n"
              "\t],\r\n"
              "\t\"c\":{\r\n"
              "\t},\r\n"
              "\t\"d\":[\r\n"
              "\t\ttrue,\r\n"
              "\t\t{\r\n"
              "\t\t\t\"e\":null\r\n"
              "\t\t}\r\n"
              "\t]\r\n"
              "}");
    EXPECT_EQ(encoded(Any(Dictionary<Any>()), true), "{\r\n}");
    EXPECT_EQ(encoded(Any(list({Any(1)})), true), "[\r\n\t1\r\n]");
    EXPECT_EQ(encoded(Any(u"x"), true), "\"x\"");
    EXPECT_EQ(encoded(Any(sample()), false), "{\"a\":1,\"b\":[],\"c\":{},\"d\":[true,{\"e\":null}]}");
}

TEST(JsonBuilder, StateAndEscaping) {
    JsonBuilder builder;
    String out(u"kept");
    EXPECT_FALSE(builder.write(Any(1), &out));  // not begun
    EXPECT_EQ(out, String(u"kept"));
    EXPECT_TRUE(builder.begin(true));
    EXPECT_FALSE(builder.begin(false));
    EXPECT_TRUE(builder.isBegun());
    EXPECT_FALSE(builder.write(Any(1), nullptr));
    EXPECT_TRUE(builder.write(Any(1), &out));  // clears the output first
    EXPECT_EQ(out, String(u"1"));
    EXPECT_TRUE(builder.writeValue(Any(2), &out));  // appends
    EXPECT_EQ(out, String(u"12"));
    EXPECT_FALSE(builder.writeArray(Array<Any>(), nullptr));
    builder.end();
    EXPECT_FALSE(builder.isBegun());
    EXPECT_TRUE(builder.begin(false));

    struct Case {
        char const* in;
        char const* out;
    } const cases[] = {
        {"plain \xE4\xB8\xAD/", "plain \xE4\xB8\xAD/"},
        {"\\\"", "\\\\\\\""},
        {"\r\n\f\b\t", "\\r\\n\\f\\b\\t"},
        {"\x01\x1F\x7F", "\\u0001\\u001F\x7F"},
        {"", ""},
    };
    for (Case const& c : cases) {
        String s = str(c.in);
        JsonBuilder::escapeString(s);
        EXPECT_EQ(utf8(s), c.out);
    }
}

TEST(JsonParser, IntegersReadIntoTheNarrowestType) {
    struct Case {
        char const* json;
        Type type;
        long long value;
    } const cases[] = {
        {"5+3", typeid(signed char), 5},
        {"-", typeid(signed char), 0},
        {"-0", typeid(signed char), 0},
        {"127", typeid(signed char), 127},
        {"-128", typeid(signed char), -128},
        {"128", typeid(short), 128},
        {"-129", typeid(short), -129},
        {"300", typeid(short), 300},
        {"32767", typeid(short), 32767},
        {"-32768", typeid(short), -32768},
        {"32768", typeid(int), 32768},
        {"-32769", typeid(int), -32769},
        {"70000", typeid(int), 70000},
        {"2147483647", typeid(int), 2147483647},
        {"-2147483648", typeid(int), -2147483647LL - 1},
        {"2147483648", typeid(long long), 2147483648LL},
        {"-2147483649", typeid(long long), -2147483649LL},
        {"9000000000", typeid(long long), 9000000000LL},
        {"99999999999999999999", typeid(long long), 9223372036854775807LL},
    };
    for (Case const& c : cases) {
        Array<Any> array;
        ASSERT_TRUE(JSON::decode(str((std::string("[") + c.json + "]").c_str()), &array)) << c.json;
        ASSERT_EQ(array.count(), 1);
        EXPECT_EQ(array[0].type(), c.type) << c.json;
        EXPECT_EQ(toLong(array[0]), c.value) << c.json;
    }

    struct DoubleCase {
        char const* json;
        double value;
    } const doubles[] = {{"1.5e3", 1500.0}, {"0.1", 0.1},   {".5", 0.5},
                         {"-2.", -2.0},     {"1.2.3", 1.2}, {".", 0.0}};
    for (DoubleCase const& c : doubles) {
        Any value;
        ASSERT_TRUE(JSON::decode(str(c.json), &value)) << c.json;
        ASSERT_TRUE(value.is<double>()) << c.json;
        EXPECT_EQ(value.cast<double>(), c.value) << c.json;
    }
}

TEST(JsonParser, AcceptedTexts) {
    struct Case {
        std::string json;
        char const* rewritten;  // compact
    } const cases[] = {
        {"  {\"a\" : 1 , \"b\":[ ]}  trailing text", "{\"a\":1,\"b\":[]}"},
        {std::string("\0[1]\0", 5), "[1]"},  // NUL is whitespace
        {"\t\r\n\v\f[2]", "[2]"},
        {"truex", "true"},
        {"false", "false"},
        {"null", "null"},
        {"{\"a\":1,\"a\":2}", "{\"a\":2}"},  // the last of a repeated key wins
        {"{\"a\":null}", "{\"a\":null}"},
        {"{\"b\":1,\"a\":2,\"B\":3}", "{\"B\":3,\"a\":2,\"b\":1}"},
        {"\"\\u00e9\\u00C9\"", "\"\xC3\xA9\xC3\x89\""},
        {"\"\\\"\\/\\\\\\b\\f\\n\\r\\t\"", "\"\\\"/\\\\\\b\\f\\n\\r\\t\""},
        {"\"tab\there\"", "\"tab\\there\""},  // control characters are taken as they are
        {"[\"\",{},[]]", "[\"\",{},[]]"},
    };
    for (Case const& c : cases) {
        Any value;
        ASSERT_TRUE(JSON::decode(withNul(c.json), &value)) << c.json;
        EXPECT_EQ(encoded(value, false), c.rewritten) << c.json;
    }

    // Surrogate halves arrive as two escapes and are stored as two units.
    Any pair;
    ASSERT_TRUE(JSON::decode(String(u"\"\\ud83d\\ude00\""), &pair));
    EXPECT_EQ(pair.cast<String>(), String(u"\U0001F600"));
    Any lone;
    ASSERT_TRUE(JSON::decode(String(u"\"\\udc00\""), &lone));
    EXPECT_EQ(lone.cast<String>().length(), 1);
}

TEST(JsonParser, RejectedTextsLeaveTheOutputAlone) {
    char const* const cases[] = {
        "",           "   ",
        "[1,,2]",     "[1,]",
        "{\"a\":1,}", "{\"a\" 1}",
        "[1 2]",      "{\"a\":1 \"b\":2}",
        "\"abc",      "\"",
        "\"\\x\"",    "\"\\u12g4\"",
        "\"\\u12\"",  "\"\\u12gtrue\"",
        "[",          "{",
        "{\"a\"",     "{\"a\":",
        "{1:2}",      "tru",
        "nul",        "+1",
        "[true",      "{\"a\":1",
        "'a'",        "[,1]",
        "{,}",        "]",
        "[\"a\\",     "\"\\",
        "{\"a\":[}",  "[{]",
    };
    for (char const* json : cases) {
        Any value(u"untouched");
        EXPECT_FALSE(JSON::decode(str(json), &value)) << json;
        EXPECT_EQ(value.cast<String>(), String(u"untouched")) << json;
    }
    EXPECT_FALSE(JSON::decode(String(1, u'\0'), static_cast<Any*>(nullptr)));
}

TEST(JSON, DecodeIntoAContainerNeedsARootOfItsKind) {
    Dictionary<Any> dict;
    dict.set(u"old", Any(1));
    EXPECT_FALSE(JSON::decode(String(u"[1,2]"), &dict));
    EXPECT_FALSE(JSON::decode(String(u"5"), &dict));
    EXPECT_FALSE(JSON::decode(String(u"{\"a\":"), &dict));
    EXPECT_FALSE(JSON::decode(String(u"{}"), static_cast<Dictionary<Any>*>(nullptr)));
    ASSERT_EQ(dict.count(), 1);
    EXPECT_TRUE(dict.contains(u"old"));
    EXPECT_TRUE(JSON::decode(String(u"{\"new\":\"x\"}"), &dict));
    EXPECT_EQ(dict.count(), 1);  // replaced, not merged
    EXPECT_EQ(toString(dict.get(u"new")), String(u"x"));

    Array<Any> array;
    array.add(Any(7));
    EXPECT_FALSE(JSON::decode(String(u"{\"a\":1}"), &array));
    EXPECT_EQ(array.count(), 1);
    EXPECT_TRUE(JSON::decode(String(u"[true,false]"), &array));
    EXPECT_EQ(array.count(), 2);
    EXPECT_TRUE(toBool(array[0]));

    String out(u"x");
    EXPECT_FALSE(JSON::encode(Dictionary<Any>(), nullptr, false));
    EXPECT_TRUE(JSON::encode(array, &out, false));
    EXPECT_EQ(out, String(u"[true,false]"));
    EXPECT_TRUE(JSON::encode(dict, &out, false));
    EXPECT_EQ(out, String(u"{\"new\":\"x\"}"));
}

TEST(JsonParser, StateIsKeptBetweenParses) {
    JsonParser parser;
    Any value;
    EXPECT_FALSE(parser.parse(&value));  // not begun
    EXPECT_TRUE(parser.begin(String(u"[123456, 1.5]")));
    EXPECT_FALSE(parser.begin(String(u"[]")));
    EXPECT_FALSE(parser.parse(nullptr));
    EXPECT_TRUE(parser.parse(&value));
    Any again;
    EXPECT_TRUE(parser.parse(&again));  // the same text parses again
    EXPECT_EQ(encoded(again, false), encoded(value, false));
    EXPECT_EQ(encoded(value, false), "[123456,1.5]");
    parser.end();
    EXPECT_FALSE(parser.isBegun());
    EXPECT_TRUE(parser.begin(String(u"false")));
    EXPECT_TRUE(parser.parse(&value));
    EXPECT_TRUE(value.is<bool>());
}

TEST(JsonParser, DeepNestingFailsCleanly) {
    struct Case {
        std::string json;
        bool parses;
    };
    int const limit = JsonParser::MAX_DEPTH;
    auto nested = [](int depth, std::string const& open, std::string const& close) {
        std::string s;
        for (int i = 0; i < depth; ++i)
            s += open;
        s += "1";
        for (int i = 0; i < depth; ++i)
            s += close;
        return s;
    };
    Case const cases[] = {
        {std::string(100000, '['), false},
        {nested(100000, "[", "]"), false},
        {nested(100000, "{\"a\":", "}"), false},
        {nested(limit, "[", "]"), true},
        {nested(limit + 1, "[", "]"), false},
        {nested(limit / 2, "[{\"k\":", "}]"), true},
        {nested(limit / 2 + 1, "[{\"k\":", "}]"), false},
    };
    for (Case const& c : cases) {
        Any value;
        EXPECT_EQ(JSON::decode(String::fromUtf8(c.json.data(), static_cast<int>(c.json.size())), &value),
                  c.parses)
            << c.json.size();
    }
}

TEST(JsonParser, ArraysReserveOnlyWhatTheirElementsNeed) {
    // Every non-empty array starts with the smallest block, whatever its depth.
    Array<Any> outer;
    ASSERT_TRUE(JSON::decode(String(u"[[[[1]]],[2,3]]"), &outer));
    EXPECT_EQ(outer.capacity(), 32);
    Array<Any> const* level = &outer;
    for (int depth = 0; depth < 3; ++depth) {
        Array<Any> const& inner = (*level)[0].cast<Array<Any>>();
        EXPECT_EQ(inner.capacity(), 32) << depth;
        level = &inner;
    }

    std::string many = "[";
    for (int i = 0; i < 1000; ++i)
        many += i ? ",7" : "7";
    many += "]";
    Array<Any> big;
    ASSERT_TRUE(JSON::decode(String::fromUtf8(many.c_str()), &big));
    EXPECT_EQ(big.count(), 1000);
    EXPECT_EQ(big.capacity(), 1024);
}

TEST(JSON, RoundTripKeepsTheTree) {
    Dictionary<Any> root = sample();
    root.set(u"text", str("\xE4\xB8\xAD \"q\" \\ \r\n\t/"));
    root.set(u"numbers", list({Any(short(-300)), Any(70000), Any(1LL << 40), Any(-0.25), Any(0.001)}));
    for (bool pretty : {false, true}) {
        String written;
        ASSERT_TRUE(JSON::encode(root, &written, pretty));
        Dictionary<Any> back;
        ASSERT_TRUE(JSON::decode(written, &back));
        EXPECT_EQ(encoded(Any(back), false), encoded(Any(root), false));
        Array<Any> const& numbers = back.get(u"numbers").cast<Array<Any>>();
        EXPECT_TRUE(numbers[2].is<long long>());
        EXPECT_EQ(numbers[4].cast<double>(), 0.001);
    }
}

// A raw control unit leaves text that is no JSON: a strict reader refuses
// the whole document for one such character in one value.
TEST(JsonBuilder, EveryControlCharacterIsWrittenEscapedAndReadsBack) {
    String all;
    for (char16_t c = 0; c < 0x20; ++c)
        all.append(c);
    all.append(u"\u007F\u00A0end");
    Dictionary<Any> object;
    object.set(all, Any(all));
    for (bool pretty : {false, true}) {
        String written;
        ASSERT_TRUE(JSON::encode(object, &written, pretty));
        bool inString = false;
        for (int i = 0; i < written.length(); ++i) {
            if (written[i] == u'"' && (i == 0 || written[i - 1] != u'\\')) inString = !inString;
            if (inString) {
                EXPECT_GE(written[i], 0x20) << "raw unit at " << i;
            }
        }
        Dictionary<Any> back;
        ASSERT_TRUE(JSON::decode(written, &back)) << utf8(written);
        ASSERT_EQ(back.count(), 1);
        EXPECT_TRUE(back.begin()->first == all);
        EXPECT_TRUE(gt::core::toString(back.get(all)) == all);
    }
    String written;
    ASSERT_TRUE(JSON::encode(Any(String(u"a\u0000b\u001B\u000B\n", 6)), &written, false));
    EXPECT_EQ(utf8(written), "\"a\\u0000b\\u001B\\u000B\\n\"");
}

TEST(JsonParser, DoublesWithAnExponentSurviveARoundTrip) {
    double const values[] = {1e20, 1e-7, -2.5e-300, 1e100, 1.5e17};
    for (double v : values) {
        String written;
        ASSERT_TRUE(JSON::encode(Any(v), &written, false));
        Any back;
        ASSERT_TRUE(JSON::decode(written, &back)) << utf8(written);
        ASSERT_TRUE(back.is<double>()) << utf8(written);
        EXPECT_DOUBLE_EQ(back.cast<double>(), v);
    }
    Any upper;
    ASSERT_TRUE(JSON::decode(str("[1E5]"), &upper));
    EXPECT_DOUBLE_EQ(upper.cast<Array<Any>>()[0].cast<double>(), 1e5);
}

TEST(JsonBuilder, KeysWithQuotesOrBackslashesReadBack) {
    Dictionary<Any> object;
    object.set(String(u"a\"b\\c"), Any(1));
    object.set(String(u"plain"), Any(2));
    String written;
    ASSERT_TRUE(JSON::encode(object, &written, false));
    EXPECT_EQ(utf8(written), "{\"a\\\"b\\\\c\":1,\"plain\":2}");
    Dictionary<Any> back;
    ASSERT_TRUE(JSON::decode(written, &back));
    EXPECT_EQ(gt::core::toInt(back.get(String(u"a\"b\\c"))), 1);
}

// JSON has no spelling for infinity or NaN, so a tree holding one is refused
// rather than written as text no reader accepts.
TEST(JsonBuilder, RefusesNumbersThatCannotBeReadBack) {
    double const inf = std::numeric_limits<double>::infinity();
    double const nan = std::numeric_limits<double>::quiet_NaN();
    Dictionary<Any> inObject;
    inObject.set(u"x", Any(nan));
    Any const cases[] = {Any(inf), Any(-inf), Any(nan), Any(list({Any(1), Any(-inf)})), Any(inObject)};
    for (Any const& value : cases) {
        for (bool pretty : {false, true}) {
            String out;
            EXPECT_FALSE(JSON::encode(value, &out, pretty)) << utf8(out);
        }
    }
    // A number too big for a double reads as infinity; it cannot be echoed.
    Any huge;
    ASSERT_TRUE(JSON::decode(str("[1e999]"), &huge));
    String out;
    EXPECT_FALSE(JSON::encode(huge, &out, false));
    // The largest finite double still reads back exactly.
    double const most = std::numeric_limits<double>::max();
    ASSERT_TRUE(JSON::encode(Any(most), &out, false));
    Any back;
    ASSERT_TRUE(JSON::decode(out, &back)) << utf8(out);
    EXPECT_EQ(back.cast<double>(), most);
}
