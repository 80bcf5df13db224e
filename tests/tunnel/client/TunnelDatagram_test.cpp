// The tunnel datagram codec: each kind's bytes, the refusals, and the
// in-place decoder agreeing with the copying one.
#include "tunnel/client/TunnelDatagram.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::core::Binary;
using gt::core::String;
using gt::test::hex;
using tunnel::TunnelDatagram;

namespace {

TEST(TunnelDatagramTest, EncodingAndDecoding) {
    EXPECT_EQ(hex(TunnelDatagram::shutdown(static_cast<short>(0x8001))), "030180");
    EXPECT_EQ(hex(TunnelDatagram::window(2, 0x20000)), "05020000000200");
    EXPECT_EQ(hex(TunnelDatagram::data(3, "ab", 2)),
              "040300020061"
              "62");
    TunnelDatagram d;
    ASSERT_TRUE(TunnelDatagram::decode(gt::test::unhex("01ffff0204030201881300"), &d));
    EXPECT_EQ(d.action, TunnelDatagram::ACTION_CONNECT);
    EXPECT_EQ(d.channelId, -1);
    EXPECT_EQ(d.protocol, 2);
    EXPECT_EQ(d.peer.address().toString(), String(u"1.2.3.4"));
    EXPECT_EQ(d.peer.port(), 5000);
    ASSERT_TRUE(TunnelDatagram::decode(gt::test::unhex("05010000000080"), &d));
    EXPECT_EQ(d.credit, static_cast<int>(0x80000000u));
    EXPECT_TRUE(TunnelDatagram::decode(gt::test::unhex("01010002040302018813"), &d));
    char const* bad[] = {"0501", "050100000000", "0401000200", "040100", "010100020403020188", "020100", ""};
    for (char const* b : bad)
        EXPECT_FALSE(TunnelDatagram::decode(gt::test::unhex(b), &d)) << b;
}

TEST(TunnelDatagramTest, DecodingInPlaceAgreesWithDecodingACopy) {
    char const* cases[] = {"01ffff0204030201881300",
                           "05010000000080",
                           "030180",
                           "0403000200616263",
                           "04030000",
                           "0501",
                           "0401000200",
                           "",
                           "0901000000"};
    for (char const* text : cases) {
        Binary const bytes = gt::test::unhex(text);
        TunnelDatagram copied;
        TunnelDatagram inPlace;
        char const* payload = nullptr;
        int length = -1;
        bool const ok = TunnelDatagram::decode(bytes, &copied);
        ASSERT_EQ(TunnelDatagram::decode(bytes.data(), bytes.length(), &inPlace, &payload, &length), ok)
            << text;
        if (!ok) continue;
        EXPECT_EQ(inPlace.action, copied.action) << text;
        EXPECT_EQ(inPlace.channelId, copied.channelId) << text;
        if (copied.action == TunnelDatagram::ACTION_DATA) {
            // The payload is read where it lies, not copied.
            EXPECT_EQ(payload, bytes.data() + 5) << text;
            EXPECT_EQ(Binary(payload, length), copied.payload) << text;
            EXPECT_TRUE(inPlace.payload.isEmpty());
        }
    }
    char head[5];
    TunnelDatagram::dataHeader(head, static_cast<short>(0x8003), 0x1234);
    EXPECT_EQ(hex(Binary(head, 5)), "0403803412");
}

}  // namespace
