#include "gt/net/channel/HttpResponseReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Text.h"

using gt::core::Binary;
using gt::net::HttpResponse;
using gt::net::HttpResponseReader;
using gt::test::bin;
using gt::test::bytes;
using gt::test::utf8;

namespace {

struct Outcome {
    std::vector<std::string> responses;  // "code reason:body"
    bool fedOk = true;
    bool finishedOk = true;

    bool operator==(Outcome const& o) const {
        return responses == o.responses && fedOk == o.fedOk && finishedOk == o.finishedOk;
    }
};

std::string describe(Outcome const& o) {
    std::string s = "feed=" + std::to_string(o.fedOk) + " finish=" + std::to_string(o.finishedOk) + " [";
    for (auto const& r : o.responses)
        s += "<" + r + ">";
    return s + "]";
}

// Feeds the pieces, then ends the connection.
Outcome run(std::vector<std::string> const& pieces, int limit = 1 << 20) {
    HttpResponseReader reader(limit, 1024);
    Outcome out;
    reader.onResponse = [&](HttpResponse& r) {
        out.responses.push_back(std::to_string(r.statusCode) + " " + utf8(r.reason) + ":" + bytes(r.body));
    };
    for (auto const& piece : pieces) {
        if (!reader.feed(bin(piece))) out.fedOk = false;
    }
    out.finishedOk = reader.finish();
    return out;
}

struct Case {
    char const* name;
    std::string wire;
    std::vector<std::string> responses;
    bool fedOk;
    bool finishedOk;
};

std::vector<Case> const& cases() {
    static std::vector<Case> const all = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", {"200 OK:hello"}, true, true},
        {"two in a row",
         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\naHTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nbc",
         {"200 OK:a", "404 Not Found:bc"},
         true,
         true},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n4\r\ndefg\r\n0\r\n\r\n",
         {"200 OK:abcdefg"},
         true,
         true},
        {"chunk extensions and trailers, then the next response",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;a=b\r\nabc\r\nA ; "
         "x\r\n0123456789\r\n0;last\r\n"
         "X-Trailer: 1\r\nX-More: 2\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok",
         {"200 OK:abc0123456789", "201 Created:ok"},
         true,
         true},
        {"lower-case framing names",
         "HTTP/1.1 200 OK\r\ncontent-length: 2\r\n\r\nhi",
         {"200 OK:hi"},
         true,
         true},
        {"upper-case chunked",
         "HTTP/1.1 200 OK\r\nTRANSFER-ENCODING: CHUNKED\r\n\r\n2\r\nhi\r\n0\r\n\r\n",
         {"200 OK:hi"},
         true,
         true},
        {"HTTP/1.0 body until close",
         "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nall of this",
         {"200 OK:all of this"},
         true,
         true},
        {"HTTP/1.1 Connection: close body until close",
         "HTTP/1.1 200 OK\r\nconnection: Close\r\n\r\nuntil the end",
         {"200 OK:until the end"},
         true,
         true},
        {"HTTP/1.1 without length is empty",
         "HTTP/1.1 204 No Content\r\nServer: x\r\n\r\n",
         {"204 No Content:"},
         true,
         true},
        {"HTTP/1.0 keep-alive without length is empty",
         "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\n\r\n",
         {"200 OK:"},
         true,
         true},
        {"no headers at all", "HTTP/1.1 200 OK\r\n\r\n", {"200 OK:"}, true, true},
        {"interim reply skipped",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx",
         {"200 OK:x"},
         true,
         true},
        {"length body cut by the close",
         "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd",
         {},
         true,
         false},
        {"chunked body cut by the close",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n3\r\nab",
         {},
         true,
         false},
        {"chunked body without its last chunk",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
         {},
         true,
         false},
        {"close inside the headers", "HTTP/1.1 200 OK\r\nContent-Le", {}, true, false},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nabc", {}, false, false},
        {"non-numeric length", "HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\nabc", {}, false, false},
        {"conflicting lengths",
         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nabc",
         {},
         false,
         false},
        {"agreeing repeated lengths",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nab",
         {"200 OK:ab"},
         true,
         true},
        // Names differ only in case: one header, so the lengths are compared.
        {"conflicting lengths in different case",
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-length: 6\r\n\r\nhelloxHTTP/1.1 200 OK\r\n\r\n",
         {},
         false,
         false},
        {"agreeing lengths in different case",
         "HTTP/1.1 200 OK\r\ncontent-length: 2\r\nCONTENT-LENGTH: 2\r\n\r\nab",
         {"200 OK:ab"},
         true,
         true},
        // Framed both ways: whichever the reader chose, a server that meant
        // the other would shift every later reply.
        {"length and chunked",
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         {},
         false,
         false},
        {"chunked and length in different case and order",
         "HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\nCONTENT-LENGTH: 2\r\n\r\n2\r\nhi\r\n0\r\n\r\n",
         {},
         false,
         false},
        {"chunked last in repeated transfer codings",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\ntransfer-encoding: "
         "chunked\r\n\r\n2\r\nhi\r\n0\r\n\r\n",
         {"200 OK:hi"},
         true,
         true},
        // A NUL would end the text conversion and hide the length behind it.
        {"NUL in a header value",
         std::string("HTTP/1.1 200 OK\r\nX-A: a\0b\r\nContent-Length: 2\r\n\r\nhiHTTP/1.1 200 OK\r\n\r\n",
                     69),
         {},
         false,
         false},
        {"bare LF in the header block",
         "HTTP/1.1 200 OK\r\nX-A: a\nContent-Length: 2\r\n\r\nhi",
         {},
         false,
         false},
        {"bare CR in the header block",
         "HTTP/1.1 200 OK\r\nX-A: a\rb\r\nContent-Length: 0\r\n\r\n",
         {},
         false,
         false},
        {"DEL in a header name",
         "HTTP/1.1 200 OK\r\nX\x7f: 1\r\nContent-Length: 0\r\n\r\n",
         {},
         false,
         false},
        {"NUL in the status line",
         std::string("HTTP/1.1 200 O\0K\r\nContent-Length: 0\r\n\r\n", 39),
         {},
         false,
         false},
        {"TAB in a header value is kept",
         "HTTP/1.1 200 OK\r\nX-A: a\tb\r\nContent-Length: 1\r\n\r\nx",
         {"200 OK:x"},
         true,
         true},
        {"length above the cap", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n", {}, false, false},
        {"chunk size not hex",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n",
         {},
         false,
         false},
        {"chunk size above INT_MAX",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\nab",
         {},
         false,
         false},
        {"chunk without its CRLF",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabcd\r\n0\r\n\r\n",
         {},
         false,
         false},
    };
    return all;
}

}  // namespace

TEST(HttpResponseReader, FramingAtEverySplitPoint) {
    for (auto const& c : cases()) {
        SCOPED_TRACE(c.name);
        Outcome expected;
        expected.responses = c.responses;
        expected.fedOk = c.fedOk;
        expected.finishedOk = c.finishedOk;
        Outcome whole = run({c.wire});
        EXPECT_EQ(whole, expected) << describe(whole);
        for (size_t split = 1; split < c.wire.size(); ++split) {
            Outcome two = run({c.wire.substr(0, split), c.wire.substr(split)});
            ASSERT_EQ(two, expected) << "split at " << split << ": " << describe(two);
        }
        std::vector<std::string> single;
        for (char ch : c.wire)
            single.emplace_back(1, ch);
        Outcome dripped = run(single);
        EXPECT_EQ(dripped, expected) << "byte by byte: " << describe(dripped);
    }
}

TEST(HttpResponseReader, HeadersKeepNamesAndJoinRepeats) {
    HttpResponseReader reader(1 << 20, 1024);
    HttpResponse got;
    reader.onResponse = [&](HttpResponse& r) { got.swap(r); };
    ASSERT_TRUE(reader.feed(
        bin("HTTP/1.1 302 Found\r\nSet-Cookie: a=1\r\nset-cookie: c=3\r\nSet-Cookie:  b=2 \r\nlocation:/x\r\n"
            "Content-Length: 0\r\n\r\n")));
    EXPECT_EQ(got.statusCode, 302);
    EXPECT_EQ(utf8(got.version), "HTTP/1.1");
    // Names that differ only in case are one header, kept under the first
    // spelling, values in the order received.
    EXPECT_EQ(got.headers.count(), 3);
    EXPECT_EQ(utf8(got.headers.get(u"Set-Cookie")), "a=1\r\nc=3\r\nb=2");
    EXPECT_EQ(got.headers.find(u"set-cookie"), nullptr);
    EXPECT_EQ(utf8(got.header(u"Location")), "/x");
    EXPECT_EQ(got.findHeader(u"Nothing"), nullptr);
    EXPECT_TRUE(reader.isIdle());
}

TEST(HttpResponseReader, LimitsBoundWhatAPeerCanMakeUsHold) {
    // A chunked body larger than the limit, in chunks that each fit.
    std::string wire = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 20; ++i)
        wire += "100\r\n" + std::string(256, 'x') + "\r\n";
    wire += "0\r\n\r\n";
    EXPECT_FALSE(run({wire}, 4096).fedOk);
    EXPECT_EQ(run({wire}, 8192).responses.size(), 1u);

    // An until-close body beyond the limit is an error, not a short body.
    Outcome big = run({"HTTP/1.0 200 OK\r\nServer: x\r\n\r\n", std::string(5000, 'y')}, 4096);
    EXPECT_FALSE(big.fedOk);
    EXPECT_TRUE(big.responses.empty());

    // A status line or header block that never ends.
    EXPECT_FALSE(run({"HTTP/1.1 200 " + std::string(9000, 'r')}).fedOk);
    EXPECT_FALSE(run({"HTTP/1.1 200 OK\r\nX: " + std::string(70000, 'h')}).fedOk);
    // A reader in error stays in error.
    HttpResponseReader reader(1 << 20, 1024);
    EXPECT_FALSE(reader.feed(bin("HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n")));
    EXPECT_FALSE(reader.feed(bin("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")));
    EXPECT_TRUE(reader.hasError());
    reader.reset();
    EXPECT_TRUE(reader.feed(bin("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")));
}

TEST(HttpResponseReader, ErrorsSayWhatWasWrong) {
    struct Case {
        std::string wire;
        char const* text;
    } const cases[] = {
        {std::string("HTTP/1.1 200 OK\r\nX: \0\r\n\r\n", 25), "NUL or control byte in the header block"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\ncontent-length: 2\r\n\r\n",
         "malformed or conflicting Content-Length headers"},
        {std::string("HTTP/1.1 2\x01\r\n\r\n", 15), "control byte in the status line"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n",
         "both Content-Length and Transfer-Encoding"},
    };
    for (auto const& c : cases) {
        HttpResponseReader reader(1 << 20, 1024);
        EXPECT_TRUE(reader.errorText().isEmpty());
        EXPECT_FALSE(reader.feed(bin(c.wire)));
        EXPECT_EQ(utf8(reader.errorText()), c.text);
        reader.reset();
        EXPECT_TRUE(reader.errorText().isEmpty());
    }
}
