#include "gt/core/io/Path.h"

#include <gtest/gtest.h>

#include <vector>

#include "gt/core/util/Array.h"
#include "support/Text.h"

using gt::core::String;
using gt::test::str;
using gt::test::utf8;

namespace {

TEST(Path, TakingPathsApart) {
    struct Case {
        char const* path;
        char const* dir;
        char const* base;
        char const* extension;
        char const* withoutExtension;
    } const cases[] = {
        {"C:/a/b.txt", "C:/a", "b.txt", "txt", "C:/a/b"},
        {"C:\\a\\b.txt", "C:/a", "b.txt", "txt", "C:\\a\\b"},
        {"b.txt", "", "b.txt", "txt", "b"},
        {"/usr/lib/a.tar.gz", "/usr/lib", "a.tar.gz", "gz", "/usr/lib/a.tar"},
        {"README", "", "README", "README", ""},
        {"/opt/app/", "/opt/app", "", "/opt/app/", ""},
        {"/x", "", "x", "/x", ""},
        {"", "", "", "", ""},
        {"日本/語.txt", "日本", "語.txt", "txt", "日本/語"},
    };
    for (auto const& c : cases) {
        String path = str(c.path);
        EXPECT_EQ(utf8(gt::core::dirName(path)), c.dir) << c.path;
        EXPECT_EQ(utf8(gt::core::baseName(path)), c.base) << c.path;
        EXPECT_EQ(utf8(gt::core::fileExtension(path)), c.extension) << c.path;
        EXPECT_EQ(utf8(gt::core::removeExtension(path)), c.withoutExtension) << c.path;
    }
}

TEST(Path, SeparatorsAndNormalising) {
    EXPECT_EQ(utf8(gt::core::pathSeparator()), "/");
    EXPECT_EQ(&gt::core::pathSeparator(), &gt::core::pathSeparator());
    EXPECT_EQ(utf8(gt::core::normalizePath(str("a\\b/c\\\\d"))), "a/b/c//d");
    struct Case {
        char const* in;
        char const* out;
    } const trims[] = {{"/tmp/", "/tmp"}, {"/tmp//", "/tmp"}, {"a\\", "a"},
                       {"/", "/"},        {"//", "/"},        {"", ""}};
    for (auto const& c : trims)
        EXPECT_EQ(utf8(gt::core::trimTrailingSeparators(str(c.in))), c.out) << c.in;
}

TEST(Path, SplittingCommandLines) {
    struct Case {
        char const* text;
        std::vector<std::string> args;
    } const cases[] = {
        {"  \"C:\\Program Files\\x.exe\"  -a \"b c\"", {"C:\\Program Files\\x.exe", "-a", "b c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {}},
        {"a \"\" b", {"a", "b"}},
        {"\t a\tb \t", {"a", "b"}},
        {"\"open", {"open"}},
        {"\"tab\tinside\"", {"tab\tinside"}},
        {"back\\slash \\\"x", {"back\\slash", "\\x"}},
        {"", {}},
        {"中 文", {"中", "文"}},
    };
    for (auto const& c : cases) {
        gt::core::Array<String> out;
        out.add(String(u"stale"));
        gt::core::splitCommandLine(out, str(c.text));
        std::vector<std::string> got;
        for (auto const& a : out)
            got.push_back(utf8(a));
        EXPECT_EQ(got, c.args) << c.text;
    }
}

TEST(Path, NormalizingCommandLines) {
    EXPECT_EQ(utf8(gt::core::normalizeCommandLine(str("  \"C:\\Program Files\\x.exe\"  -a\\b  \"c d\" "))),
              "C:/Program Files/x.exe -a\\b c d");
    EXPECT_EQ(utf8(gt::core::normalizeCommandLine(str("   "))), "");
}

}  // namespace
