// Runs every file of the public JSON parsing test suite (tests/data, kept with
// its licence) through the reader.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "gt/core/lang/Binary.h"
#include "gt/core/util/JSON.h"
#include "support/Text.h"

using gt::core::Any;
using gt::core::Binary;
using gt::core::JSON;
using gt::core::String;
using gt::test::utf8;

namespace {

std::string const kSuiteDir = std::string(GT_TEST_DATA_DIR) + "/json-test-suite/test_parsing";

std::vector<std::string> suiteFiles() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(kSuiteDir.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0) names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The file's UTF-8 bytes as text; NUL bytes are kept as NUL units.
String readText(std::string const& name) {
    std::ifstream file(kSuiteDir + "/" + name, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    String text;
    size_t start = 0;
    while (true) {
        size_t zero = bytes.find('\0', start);
        size_t end = zero == std::string::npos ? bytes.size() : zero;
        text.append(Binary(bytes.data() + start, static_cast<int>(end - start)).utf8ToString());
        if (zero == std::string::npos) break;
        text.append(u'\0');
        start = zero + 1;
    }
    return text;
}

}  // namespace

TEST(JsonSuite, EveryFileParsesAsExpected) {
    std::vector<std::string> const names = suiteFiles();
    ASSERT_FALSE(names.empty()) << "no test suite at " << kSuiteDir;

    // Accepted although the suite rejects them, each for a documented trait
    // of our reader.
    std::set<std::string> const acceptedAnyway = {
        // Text after the first complete value is not looked at.
        "n_array_comma_after_close.json",
        "n_array_extra_close.json",
        "n_multidigit_number_then_00.json",
        "n_object_trailing_comment.json",
        "n_object_trailing_comment_open.json",
        "n_object_trailing_comment_slash_open.json",
        "n_object_trailing_comment_slash_open_incomplete.json",
        "n_object_with_trailing_garbage.json",
        "n_string_with_trailing_garbage.json",
        "n_structure_array_trailing_garbage.json",
        "n_structure_array_with_extra_array_close.json",
        "n_structure_close_unopened_array.json",
        "n_structure_double_array.json",
        "n_structure_number_with_trailing_garbage.json",
        "n_structure_object_followed_by_closing_object.json",
        "n_structure_object_with_trailing_garbage.json",
        "n_structure_trailing_#.json",
        // A number is any run of + - . digits and lower-case e; it converts
        // as far as it can (to 0 when nothing converts).
        "n_array_just_minus.json",
        "n_number_-01.json",
        "n_number_-1.0..json",
        "n_number_-2..json",
        "n_number_.-1.json",
        "n_number_.2e-3.json",
        "n_number_0.1.2.json",
        "n_number_0.3e+.json",
        "n_number_0.3e.json",
        "n_number_0.e1.json",
        "n_number_0e+.json",
        "n_number_0_capital_E+.json",
        "n_number_0_capital_E.json",
        "n_number_0e.json",
        "n_number_1eE2.json",
        "n_number_1.0e+.json",
        "n_number_1.0e-.json",
        "n_number_1.0e.json",
        "n_number_2.e+3.json",
        "n_number_2.e-3.json",
        "n_number_2.e3.json",
        "n_number_9.e+.json",
        "n_number_expression.json",
        "n_number_invalid+-.json",
        "n_number_neg_int_starting_with_zero.json",
        "n_number_neg_real_without_int_part.json",
        "n_number_real_without_fractional_part.json",
        "n_number_starting_with_dot.json",
        "n_number_with_leading_zero.json",
        // Control characters inside a string are taken as they are.
        "n_string_unescaped_ctrl_char.json",
        "n_string_unescaped_newline.json",
        "n_string_unescaped_tab.json",
        // Whitespace is 0x09-0x0D, the space and NUL.
        "n_structure_null-byte-outside-string.json",
        "n_structure_whitespace_formfeed.json",
    };
    std::set<std::string> const rejectedAnyway = {};
    std::set<std::string> const noRoundTrip = {};

    for (std::string const& name : names) {
        Any value;
        bool parsed = JSON::decode(readText(name), &value);
        if (name[0] == 'y') {
            EXPECT_EQ(parsed, rejectedAnyway.count(name) == 0) << name;
            if (parsed && noRoundTrip.count(name) == 0) {
                // What the writer makes of it reads back to the same tree.
                String written, rewritten;
                Any reread;
                ASSERT_TRUE(JSON::encode(value, &written, false)) << name;
                ASSERT_TRUE(JSON::decode(written, &reread)) << name;
                ASSERT_TRUE(JSON::encode(reread, &rewritten, false)) << name;
                EXPECT_EQ(utf8(rewritten), utf8(written)) << name;
            }
        } else if (name[0] == 'n') {
            EXPECT_EQ(parsed, acceptedAnyway.count(name) != 0) << name;
        }
        // i_ files may go either way; they only must not crash or exhaust memory.
    }
}
