#include "gt/util/HttpContent.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::bytes;
using gt::test::utf8;
using gt::util::HttpContent;

TEST(HttpContent, FormBody) {
    HttpContent empty = HttpContent::form(Dictionary<String>());
    EXPECT_EQ(utf8(empty.type), "application/x-www-form-urlencoded; charset=UTF-8");
    EXPECT_TRUE(empty.data.isEmpty());

    Dictionary<String> fields;
    fields.set(u"q", u" é");
    fields.set(u"a", u"1");
    HttpContent form = HttpContent::form(fields);
    EXPECT_EQ(bytes(form.data), "a=1&q=%20%C3%A9");
    EXPECT_EQ(utf8(form.type), "application/x-www-form-urlencoded; charset=UTF-8");
}

TEST(HttpContent, ConstructorsKeepTypeAndBytes) {
    Binary data("{}");
    HttpContent copied(u"application/json", data);
    EXPECT_EQ(bytes(copied.data), "{}");
    EXPECT_EQ(bytes(data), "{}");
    HttpContent moved(u"text/plain", std::move(data));
    EXPECT_EQ(bytes(moved.data), "{}");
    EXPECT_EQ(utf8(moved.type), "text/plain");
    HttpContent none;
    EXPECT_TRUE(none.type.isEmpty() && none.data.isEmpty());
}
