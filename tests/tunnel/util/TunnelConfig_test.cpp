// The relay server text of a tunnel's settings.
#include "tunnel/util/TunnelConfig.h"

#include <gtest/gtest.h>

TEST(TunnelConfig, ParsesServerTexts) {
    struct Case {
        char16_t const* text;
        unsigned address;
        unsigned short port;
    } const cases[] = {
        {u"10.1.2.3:7000", 0x0A010203u, 7000}, {u"10.1.2.3", 0x0A010203u, 0},  {u"relay.example:80", 0, 80},
        {u"1.2.3.4:70000", 0x01020304u, 0},  // out of range: 0, not a wrapped port
        {u"1.2.3.4:-5", 0x01020304u, 0},       {u"1.2.3.4:x", 0x01020304u, 0},
    };
    for (auto const& c : cases) {
        gt::net::SocketAddress a = tunnel::TunnelConfig::parseServer(c.text);
        EXPECT_EQ(a.address().value(), c.address);
        EXPECT_EQ(a.port(), c.port);
    }
}
