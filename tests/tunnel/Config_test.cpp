#include "tunnel/Config.h"

#include <gtest/gtest.h>

#include "gt/core/lang/Exception.h"
#include "gt/core/lang/Fatal.h"
#include "support/Text.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::utf8;

namespace {

// Stored texts made with a separate implementation: JSON, TEA under the
// key of the word "harbours", Base64.
char const kFull[] =
    "yzrfopqKiGH7+hfh1/NdP8OH2m+ZXb6bQ1I/yXbsnC/"
    "mvbdeDLANUg8l5Ozh2XVtYErvhbasjKw26AxMx744qSXoP3rHjJCNs8f5Eqdgz5Wz"
    "qXqB4HEl7AwSvYvJ7sH8H2//AJlDZ/EDG5EuwzCjDgU=";
char const kWithoutHosts[] = "yzrfopqKiGFSNUn1/pqAglbW7ITJwBzb7KrtlH7np6AB";
char const kNotJson[] = "eNOsnWojWyoA";
char const kHostsNotAList[] = "Aij71PqvkTJTZ744GXtomwQ=";

Dictionary<Any> decode(char const* stored) { return Config::decode(gt::test::str(stored), u"harbours"); }

TEST(Config, DecodesTheThreeKeysAndIgnoresOthers) {
    Dictionary<Any> object = decode(kFull);
    EXPECT_EQ(utf8(gt::core::toString(object.get(u"u"))), "http://api.example.test/v2");
    EXPECT_EQ(utf8(gt::core::toString(object.get(u"e"))), "tea(k1)");
    Array<String> hosts = Config::hostsOf(object);
    ASSERT_EQ(hosts.count(), 2);
    EXPECT_EQ(utf8(hosts[0]), "a.example.test:8080");
    EXPECT_EQ(utf8(hosts[1]), "b.example.test");
}

TEST(Config, MissingHostsGiveAnEmptyListAndAWrongKindIsABadCast) {
    EXPECT_TRUE(Config::hostsOf(decode(kWithoutHosts)).isEmpty());
    EXPECT_THROW(Config::hostsOf(decode(kHostsNotAList)), gt::core::Exception);
}

TEST(Config, EncodeAndDecodeAgree) {
    Dictionary<Any> object;
    object.set(u"u", Any(String::fromUtf8("http://云.test/api")));
    Array<Any> hosts;
    hosts.add(Any(u"h1:1"));
    object.set(u"h", Any(hosts));
    Dictionary<Any> back = Config::decode(Config::encode(object, u"somewordx"), u"somewordx");
    EXPECT_EQ(utf8(gt::core::toString(back.get(u"u"))), "http://云.test/api");
    EXPECT_EQ(Config::hostsOf(back).count(), 1);
}

TEST(Config, BuiltInConfigurationHoldsTheBuildSettings) {
    EXPECT_EQ(utf8(Config::apiUrl()), QV_TEST_API_URL);
    EXPECT_EQ(utf8(Config::encryption()), QV_TEST_API_ENCRYPTION);
    std::string joined;
    for (String const& host : Config::hosts())
        joined += (joined.empty() ? "" : ",") + utf8(host);
    EXPECT_EQ(joined, QV_TEST_API_HOSTS);
}

void decodeReporting(char const* stored) {
    gt::core::setErrorHandler(gt::core::showAssertBox, nullptr);
    decode(stored);
}

TEST(ConfigDeathTest, DamagedStoredTextStopsTheProgramWithItsReport) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A length the cipher cannot have.
    EXPECT_EXIT(decodeReporting("QUJD"), testing::ExitedWithCode(255),
                "File: +tunnel/Config.*Line: +[0-9]+.*Report: !L\"Bad config data\"");
    // A text that decrypts but is not JSON.
    EXPECT_EXIT(decodeReporting(kNotJson), testing::ExitedWithCode(255),
                "File: +tunnel/Config.*Line: +[0-9]+.*Report: !L\"Bad config format\"");
}

}  // namespace
