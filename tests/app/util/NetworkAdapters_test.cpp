#include "app/util/NetworkAdapters.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include "support/Text.h"

namespace {

using gt::core::Array;
using gt::core::String;
using gt::test::str;
using gt::test::utf8;
using tunnel::NetworkAdapters;

std::string joined(Array<String> const& list) {
    std::string out;
    for (String const& item : list)
        out += (out.empty() ? "" : ",") + utf8(item);
    return out;
}

TEST(NetworkAdapters, OnlyAddressesWorthBindingToAreOffered) {
    struct Case {
        char const* name;
        std::vector<char const*> addresses;
        char const* offered;
    } const cases[] = {
        {"loopback first", {"127.0.0.1", "192.168.1.5", "10.0.0.7"}, "192.168.1.5,10.0.0.7"},
        {"only loopback and none", {"127.0.0.1", "127.1.2.3", "0.0.0.0", "0.1.2.3"}, ""},
        {"empty texts", {"", "172.16.0.1", ""}, "172.16.0.1"},
        {"first part only", {"1.127.0.1", "10.0.0.0", "1270.0.0.1"}, "1.127.0.1,10.0.0.0,1270.0.0.1"},
        {"no dot", {"127", "0", "localhost"}, "localhost"},
        {"nothing", {}, ""},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        Array<String> addresses;
        for (char const* address : c.addresses)
            addresses.add(str(address));
        EXPECT_EQ(joined(NetworkAdapters::bindable(addresses)), c.offered);
    }
}

// The running system's adapters: IPv4 texts only; the loopback adapter is up
// in every test environment.
TEST(NetworkAdapters, AdaptersOfThisComputerAreIPv4) {
    Array<String> const addresses = NetworkAdapters::ipv4Addresses();
    bool loopback = false;
    for (String const& address : addresses) {
        in_addr parsed;
        EXPECT_EQ(::inet_pton(AF_INET, utf8(address).c_str(), &parsed), 1) << utf8(address);
        if (address == String(u"127.0.0.1")) loopback = true;
    }
    EXPECT_TRUE(loopback) << joined(addresses);
    EXPECT_EQ(joined(NetworkAdapters::bindable(addresses)).find("127."), std::string::npos);
}

}  // namespace
