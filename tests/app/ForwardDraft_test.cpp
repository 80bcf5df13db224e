// What the forward editor's fields become in create_forward and
// modify_forward.
#include "app/ForwardDraft.h"

#include <gtest/gtest.h>

#include "gt/core/util/JSON.h"
#include "support/Text.h"

using gt::core::String;
using gt::test::str;
using gt::test::utf8;
using tunnel::ForwardDraft;

TEST(ForwardDraft, PublicAddressSplitsAtItsFirstDot) {
    struct Case {
        char const* address;
        char const* prefix;
        char const* domain;
    } const cases[] = {
        {"demo.tcp.quorvane.example", "demo", "tcp.quorvane.example"},
        {"nodot", "nodot", ""},
        {".lead", "", "lead"},
        {"trail.", "trail", ""},
        {"", "", ""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.address);
        ForwardDraft draft;
        draft.address = str(c.address);
        EXPECT_EQ(utf8(draft.hostPrefix()), c.prefix);
        EXPECT_EQ(utf8(draft.hostDomain()), c.domain);
    }
}

TEST(ForwardDraft, NamesAreLoweredForANewMappingOnly) {
    ForwardDraft draft;
    draft.clientHost = u"NAS.Local";
    draft.ownDomain = u"Www.Example.COM";
    draft.clientPort = u"8080";
    draft.ownDomainShown = true;
    EXPECT_EQ(utf8(draft.newClientHost()), "nas.local");
    EXPECT_EQ(utf8(draft.hostCustom()), "www.example.com");
    // The own-domain field counts only while a region with own domains shows it.
    draft.ownDomainShown = false;
    EXPECT_EQ(utf8(draft.hostCustom()), "");
    // An edit sends the host as typed.
    EXPECT_EQ(utf8(gt::core::toString(draft.modifyFields().get(u"client_host"))), "NAS.Local");
}

TEST(ForwardDraft, PortIsTheLeadingDigits) {
    struct Case {
        char const* text;
        int port;
    } const cases[] = {
        {"8080", 8080}, {"80ab", 80}, {"ab80", 0}, {"", 0}, {" 22", 22}, {"99999999999", 2147483647},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        ForwardDraft draft;
        draft.clientPort = str(c.text);
        EXPECT_EQ(draft.port(), c.port);
    }
}

TEST(ForwardDraft, TrafficBillingSendsNoBandwidth) {
    struct Case {
        char const* name;
        bool fixed;
        int value;
        int bandwidth;
    } const cases[] = {
        {"fixed", true, 5, 5},
        {"traffic billing, spin box set", false, 5, 0},
        {"traffic billing", false, 0, 0},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        ForwardDraft draft;
        draft.fixedBandwidth = c.fixed;
        draft.fixedValue = c.value;
        EXPECT_EQ(draft.bandwidth(), c.bandwidth);
        EXPECT_EQ(gt::core::toInt(draft.modifyFields().get(u"bandwidth")), c.bandwidth);
    }
}

// An edit changes the name, the LAN target and the bandwidth, nothing else,
// whatever else the draft holds.
TEST(ForwardDraft, ModifyFieldsAreExactlyTheFourEditableOnes) {
    ForwardDraft draft;
    draft.label = u"NAS 管理";
    draft.protocol = u"tcp";
    draft.address = u"demo.tcp.quorvane.example";
    draft.ownDomain = u"own.example";
    draft.ownDomainShown = true;
    draft.clientHost = u"Nas";
    draft.clientPort = u"5000x";
    draft.fixedBandwidth = true;
    draft.fixedValue = 3;
    String json;
    ASSERT_TRUE(gt::core::JSON::encode(draft.modifyFields(), &json, false));
    EXPECT_EQ(utf8(json),
              "{\"bandwidth\":3,\"client_host\":\"Nas\",\"client_port\":5000,\"label\":\"NAS 管理\"}");
}
