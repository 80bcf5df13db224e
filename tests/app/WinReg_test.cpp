#include "app/WinReg.h"

#include <climits>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "gt/core/io/FileSystem.h"
#include "support/TempDir.h"
#include "support/Text.h"

namespace {

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::String;
using gt::test::bin;
using gt::test::str;
using gt::test::TempDir;
using tunnel::WinReg;

char16_t const kKey[] = u"HKEY_CURRENT_USER\\Software\\Quorvane";

std::vector<std::string> names(Array<String> const& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count(); ++i)
        out.push_back(gt::test::utf8(list[i]));
    return out;
}

class WinRegTest : public ::testing::Test {
protected:
    WinReg key(String const& path = kKey) const { return WinReg(path, dir.str("registry")); }
    TempDir dir;
};

TEST_F(WinRegTest, ValuesKeepTheirTypeAndContent) {
    struct Case {
        char const* name;
        Any value;
    } const cases[] = {
        {"text", Any(str("中文 text \xF0\x9F\x98\x80"))},
        {"empty text", Any(String())},
        {"bytes", Any(bin(std::string("\0\x01\xFF z", 5)))},
        {"small dword", Any(5)},
        {"negative dword", Any(INT_MIN)},
        {"small qword", Any(7LL)},
        {"large qword", Any(LLONG_MAX)},
    };
    WinReg reg = key();
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        String const name = str(c.name);
        ASSERT_TRUE(reg.setValue(name, c.value));
        // A fresh object reads the store file again.
        Any const back = key().query(name);
        EXPECT_EQ(back.type(), c.value.type());
        if (c.value.is<String>()) {
            EXPECT_EQ(back.cast<String>(), c.value.cast<String>());
        }
        if (c.value.is<Binary>()) {
            EXPECT_EQ(back.cast<Binary>(), c.value.cast<Binary>());
        }
        if (c.value.is<int>()) {
            EXPECT_EQ(back.cast<int>(), c.value.cast<int>());
        }
        if (c.value.is<long long>()) {
            EXPECT_EQ(back.cast<long long>(), c.value.cast<long long>());
        }
    }
    EXPECT_FALSE(reg.setValue(u"flag", Any(true)));
    EXPECT_FALSE(reg.setValue(u"ratio", Any(0.5)));
    EXPECT_TRUE(reg.query(u"flag").isEmpty());
    EXPECT_TRUE(reg.query(u"missing").isEmpty());
}

TEST_F(WinRegTest, AnUnknownRootFailsEverythingAndWritesNothing) {
    for (char16_t const* path : {u"HKEY_NOWHERE\\Software", u"Software\\Quorvane", u""}) {
        WinReg reg = key(path);
        EXPECT_FALSE(reg.setString(u"a", u"1"));
        EXPECT_FALSE(reg.deleteValue(u"a"));
        Array<String> list;
        list.add(u"stale");
        reg.subKeys(&list);
        EXPECT_TRUE(list.isEmpty());
        list.add(u"stale");
        reg.valueNames(&list);
        EXPECT_TRUE(list.isEmpty());
        EXPECT_TRUE(reg.query(u"a").isEmpty());
    }
    EXPECT_FALSE(dir.exists("registry"));
}

TEST_F(WinRegTest, NamesIgnoreLetterCaseAndKeepTheirFirstSpelling) {
    ASSERT_TRUE(key().setString(u"Path", u"one"));
    WinReg other = key(u"hkey_current_user\\SOFTWARE\\\\quorvane\\");
    EXPECT_EQ(toString(other.query(u"PATH")), String(u"one"));
    ASSERT_TRUE(other.setString(u"PATH", u"two"));
    EXPECT_EQ(toString(key().query(u"path")), String(u"two"));
    Array<String> list;
    key().valueNames(&list);
    EXPECT_EQ(names(list), std::vector<std::string>{"Path"});
    key(u"HKEY_CURRENT_USER").subKeys(&list);
    EXPECT_EQ(names(list), std::vector<std::string>{"Software"});
    // Another root is another store.
    EXPECT_TRUE(key(u"HKEY_LOCAL_MACHINE\\Software\\Quorvane").query(u"Path").isEmpty());
}

TEST_F(WinRegTest, TheDefaultValueHasTheEmptyName) {
    ASSERT_TRUE(key().setString(String(), u"default"));
    EXPECT_EQ(toString(key().query(String())), String(u"default"));
    EXPECT_TRUE(key().deleteValue(String()));
    EXPECT_TRUE(key().query(String()).isEmpty());
}

TEST_F(WinRegTest, ValuesAboveTheQueryBufferReadAsEmpty) {
    WinReg reg = key();
    // Text counts as UTF-16 with its terminating NUL.
    ASSERT_TRUE(reg.setString(u"fits", String(WinReg::MAX_VALUE_BYTES / 2 - 1, u'x')));
    ASSERT_TRUE(reg.setString(u"long", String(WinReg::MAX_VALUE_BYTES / 2, u'x')));
    ASSERT_TRUE(reg.setValue(u"bytes fit", Any(Binary(WinReg::MAX_VALUE_BYTES, 'b'))));
    ASSERT_TRUE(reg.setValue(u"bytes long", Any(Binary(WinReg::MAX_VALUE_BYTES + 1, 'b'))));
    EXPECT_EQ(toString(reg.query(u"fits")).length(), WinReg::MAX_VALUE_BYTES / 2 - 1);
    EXPECT_TRUE(reg.query(u"long").isEmpty());
    EXPECT_EQ(reg.query(u"bytes fit").cast<Binary>().length(), WinReg::MAX_VALUE_BYTES);
    EXPECT_TRUE(reg.query(u"bytes long").isEmpty());
    // Text is kept up to its first NUL, as a registry reader sees a
    // multi-string; a name with a NUL is refused. The store stays readable.
    ASSERT_TRUE(reg.setString(u"multi", String(u"first\0second", 12)));
    EXPECT_EQ(toString(reg.query(u"multi")), String(u"first"));
    EXPECT_FALSE(reg.setString(String(u"a\0b", 3), u"x"));
    EXPECT_FALSE(key(String(u"HKEY_CURRENT_USER\\a\0b", 21)).setString(u"a", u"x"));
    EXPECT_EQ(toString(reg.query(u"fits")).length(), WinReg::MAX_VALUE_BYTES / 2 - 1);
}

TEST_F(WinRegTest, SubKeysAndValueNamesListOneLevelInOrder) {
    ASSERT_TRUE(key(u"HKEY_CURRENT_USER\\Software\\Quorvane\\Zeta\\Deep").setString(u"x", u"1"));
    ASSERT_TRUE(key(u"HKEY_CURRENT_USER\\Software\\Quorvane\\alpha").setString(u"x", u"1"));
    ASSERT_TRUE(key(u"HKEY_CURRENT_USER\\Software\\Quorvane\\Zeta").setString(u"x", u"1"));
    ASSERT_TRUE(key(u"HKEY_CURRENT_USER\\Software\\QuorvaneOther").setString(u"x", u"1"));
    ASSERT_TRUE(key().setString(u"b", u"1"));
    ASSERT_TRUE(key().setValue(u"A", Any(1)));
    Array<String> list;
    key().subKeys(&list);
    EXPECT_EQ(names(list), (std::vector<std::string>{"alpha", "Zeta"}));
    key().valueNames(&list);
    EXPECT_EQ(names(list), (std::vector<std::string>{"A", "b"}));
    key(u"HKEY_CURRENT_USER\\Software").subKeys(&list);
    EXPECT_EQ(names(list), (std::vector<std::string>{"Quorvane", "QuorvaneOther"}));
    key(u"HKEY_CURRENT_USER\\Nothing").subKeys(&list);
    EXPECT_TRUE(list.isEmpty());
    key().subKeys(nullptr);
    key().valueNames(nullptr);
}

TEST_F(WinRegTest, DeletingAValueThatIsNotThereFails) {
    ASSERT_TRUE(key().setString(u"a", u"1"));
    EXPECT_TRUE(key().deleteValue(u"A"));
    EXPECT_FALSE(key().deleteValue(u"a"));
    EXPECT_FALSE(key(u"HKEY_CURRENT_USER\\Nothing").deleteValue(u"a"));
}

TEST_F(WinRegTest, AStoreThatCannotBeReadIsNeitherReadNorWrittenOver) {
    ASSERT_TRUE(gt::core::createDirectories(dir.str("registry")));
    struct Case {
        char const* name;
        std::string content;
    } const cases[] = {
        {"not JSON", "{\"software\": "},
        {"an array", "[1, 2]"},
        {"too large", "{\"a\": \"" + std::string(WinReg::MAX_STORE_BYTES, 'x') + "\"}"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        dir.writeFile("registry/HKEY_CURRENT_USER.json", c.content);
        EXPECT_TRUE(key().query(u"a").isEmpty());
        EXPECT_FALSE(key().setString(u"a", u"1"));
        EXPECT_EQ(dir.readFile("registry/HKEY_CURRENT_USER.json"), c.content);
    }
    // Entries of the wrong shape are skipped, not trusted.
    dir.writeFile("registry/HKEY_CURRENT_USER.json",
                  "{\"software\\\\quorvane\": {\"values\": {\"a\": 5, \"b\": {\"type\": 1, \"data\": 7}}}}");
    EXPECT_TRUE(key().query(u"a").isEmpty());
    EXPECT_TRUE(key().query(u"b").isEmpty());
    EXPECT_TRUE(key().setString(u"c", u"3"));
    EXPECT_EQ(toString(key().query(u"c")), String(u"3"));
}

TEST_F(WinRegTest, ConcurrentWritersLoseNothing) {
    constexpr int kEach = 40;
    auto writer = [this](char prefix) {
        WinReg reg = key();
        for (int i = 0; i < kEach; ++i)
            EXPECT_TRUE(reg.setValue(str(std::string(1, prefix) + std::to_string(i)), Any(i)));
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    Array<String> list;
    key().valueNames(&list);
    EXPECT_EQ(list.count(), 2 * kEach);
}

}  // namespace
