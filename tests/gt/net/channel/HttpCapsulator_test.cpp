#include "gt/net/channel/HttpCapsulator.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::StreamBuffer;
using gt::core::String;
using gt::net::HttpCapsulator;
using gt::test::bin;
using gt::test::bytes;
using gt::test::utf8;

namespace {
std::string unread(StreamBuffer const& sb) {
    return std::string(sb.data(), static_cast<size_t>(sb.available()));
}
}  // namespace

TEST(HttpCapsulator, WritesRequestsAndStatusLines) {
    StreamBuffer sb(1 << 20, 1024);
    HttpCapsulator cap(&sb);
    Dictionary<String> headers;
    headers.set(u"Set-Cookie", u"a=1\r\nb=2");
    headers.set(u"Host", u"h:81");
    headers.set(u"X-Empty", u"");
    ASSERT_TRUE(cap.writeRequestLine(u"GET", u"/a?b", u"HTTP/1.1"));
    ASSERT_TRUE(cap.writeHeaders(headers));
    ASSERT_TRUE(cap.writeBody(Binary("xyz")));
    EXPECT_EQ(
        unread(sb),
        "GET /a?b HTTP/1.1\r\nHost: h:81\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\nX-Empty: \r\n\r\nxyz");
    sb.clear();
    ASSERT_TRUE(cap.writeStatusLine(u"HTTP/1.1", 404, u"Not Found"));
    ASSERT_TRUE(cap.writeHeaders(Dictionary<String>()));
    ASSERT_TRUE(cap.writeChunk(Binary(std::string(26, 'q').c_str())));
    ASSERT_TRUE(cap.writeChunk(Binary()));
    EXPECT_EQ(unread(sb), "HTTP/1.1 404 Not Found\r\n\r\n1a\r\n" + std::string(26, 'q') + "\r\n0\r\n\r\n");

    StreamBuffer tiny(8, 0);
    HttpCapsulator small(&tiny);
    EXPECT_FALSE(small.writeRequestLine(u"GET", u"/long/target", u"HTTP/1.1"));
    EXPECT_TRUE(tiny.isEmpty());
}

TEST(HttpCapsulator, ReadsWhatItWrites) {
    StreamBuffer sb(1 << 20, 1024);
    HttpCapsulator cap(&sb);
    Dictionary<String> headers;
    headers.set(u"Set-Cookie", u"a=1\r\nb=2");
    headers.set(u"Host", u"中文");
    cap.writeRequestLine(u"POST", u"/x", u"HTTP/1.1");
    cap.writeHeaders(headers);
    String method, target, version;
    Dictionary<String> read;
    ASSERT_TRUE(cap.readRequestLine(&method, &target, &version, -1));
    EXPECT_EQ(utf8(method + u"|" + target + u"|" + version), "POST|/x|HTTP/1.1");
    ASSERT_TRUE(cap.readHeaders(&read, -1));
    EXPECT_EQ(read.count(), 2);
    EXPECT_EQ(read.get(u"Set-Cookie"), String(u"a=1\r\nb=2"));
    EXPECT_EQ(read.get(u"Host"), String(u"中文"));
    EXPECT_TRUE(sb.isEmpty());
}

TEST(HttpCapsulator, LinesWaitForTheirEndAndHonourLimits) {
    StreamBuffer sb(1 << 20, 1024);
    HttpCapsulator cap(&sb);
    String version, reason;
    int code = 0;
    sb.append(bin("HTTP/1.1 200 OK\r"));
    EXPECT_FALSE(cap.readStatusLine(&version, &code, &reason, -1));
    EXPECT_EQ(sb.available(), 16);
    sb.append(bin("\n"));
    EXPECT_FALSE(cap.readStatusLine(&version, &code, &reason, 10));
    ASSERT_TRUE(cap.readStatusLine(&version, &code, &reason, 15));
    EXPECT_EQ(code, 200);
    EXPECT_EQ(utf8(reason), "OK");

    sb.append(bin("HTTP/1.1 500 Internal Server Error\r\nHTTP/1.1 204\r\n"));
    ASSERT_TRUE(cap.readStatusLine(&version, &code, &reason, -1));
    EXPECT_EQ(utf8(reason), "Internal Server Error");
    ASSERT_TRUE(cap.readStatusLine(&version, &code, &reason, -1));
    EXPECT_EQ(code, 204);
    EXPECT_EQ(utf8(reason), "");

    Dictionary<String> headers;
    headers.set(u"stale", u"1");
    sb.append(bin("\r\n"));
    ASSERT_TRUE(cap.readHeaders(&headers, -1));
    EXPECT_TRUE(headers.isEmpty());
    sb.append(bin("A: 1\r\nB:2\r\n"));
    EXPECT_FALSE(cap.readHeaders(&headers, -1));
    sb.append(bin("\r\n"));
    EXPECT_FALSE(cap.readHeaders(&headers, 5));
    ASSERT_TRUE(cap.readHeaders(&headers, -1));
    EXPECT_EQ(utf8(headers.get(u"B")), "2");
}

TEST(HttpCapsulator, BodiesAndChunks) {
    StreamBuffer sb(1 << 20, 1024);
    HttpCapsulator cap(&sb);
    Binary body;
    sb.append(bin("abcdef"));
    EXPECT_FALSE(cap.readBody(&body, -1));
    EXPECT_FALSE(cap.readBody(&body, 7));
    ASSERT_TRUE(cap.readBody(nullptr, 2));
    ASSERT_TRUE(cap.readBody(&body, 4));
    EXPECT_EQ(bytes(body), "cdef");

    struct Case {
        std::string wire;
        bool ok;
        bool invalid;
        std::string chunk;
        int left;
    } const cases[] = {
        {"3\r\nabc\r\n", true, false, "abc", 0},        {"3\r\nabc\r", false, false, "", 7},
        {"3;ext=1\r\nabc\r\nX", true, false, "abc", 1}, {"3 \t;e\r\nabc\r\n", true, false, "abc", 0},
        {"0\r\n\r\nnext", true, false, "", 4},          {"0\r\nT: 1\r\n\r\nnext", true, false, "", 4},
        {"0\r\nT: 1\r\n", false, false, "", 9},         {"0\r\n", false, false, "", 3},
        {"g\r\nabc\r\n", false, true, "", 8},           {";x\r\n", false, true, "", 4},
        {"3x\r\nabc\r\n", false, true, "", 9},          {"7fffffff\r\n", false, false, "", 10},
        {"80000000\r\n", false, true, "", 10},          {"ffffffffffffffff1\r\n", false, true, "", 19},
        {"2\r\nabc\r\n", false, true, "", 8},           {std::string(5000, '1'), false, true, "", 5000},
    };
    for (auto const& c : cases) {
        sb.clear();
        sb.append(bin(c.wire));
        Binary chunk("stale");
        bool invalid = !c.invalid;
        EXPECT_EQ(cap.readChunk(&chunk, &invalid), c.ok) << c.wire;
        EXPECT_EQ(invalid, c.invalid) << c.wire;
        if (c.ok) {
            EXPECT_EQ(bytes(chunk), c.chunk) << c.wire;
        }
        EXPECT_EQ(sb.available(), c.left) << c.wire;
    }
}

TEST(HttpCapsulator, HeaderLinesWithoutAColon) {
    // A line without ':' is a name with an empty value; the colon of a later
    // line is not taken for it. A long block of such lines reads in one pass.
    StreamBuffer sb(1 << 20, 1024);
    HttpCapsulator cap(&sb);
    std::string block = "odd line\r\nX: a:b\r\n";
    for (int i = 0; i < 20000; ++i)
        block += "n\r\n";
    sb.append(bin(block + "Y:  2 \r\n\r\n"));
    Dictionary<String> headers;
    ASSERT_TRUE(cap.readHeaders(&headers, -1));
    EXPECT_EQ(headers.count(), 4);
    EXPECT_EQ(utf8(headers.get(u"odd line")), "");
    EXPECT_EQ(utf8(headers.get(u"X")), "a:b");
    EXPECT_EQ(utf8(headers.get(u"Y")), "2");
    EXPECT_EQ(headers.get(u"n").length(), 2 * 19999);
    EXPECT_TRUE(sb.isEmpty());
}
