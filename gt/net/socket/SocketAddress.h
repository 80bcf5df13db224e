// An IPv4 endpoint: address and port, both in host byte order.
#pragma once

#include "gt/net/socket/IpAddress.h"

namespace gt {
namespace net {

class SocketAddress {
public:
    // The none-endpoint 0.0.0.0:0, also the any-address for binding.
    constexpr SocketAddress() noexcept : m_address(), m_port(0) {}
    constexpr SocketAddress(IpAddress const& address, unsigned short port) noexcept
        : m_address(address), m_port(port) {}

    static constexpr SocketAddress none() { return SocketAddress(); }

    IpAddress const& address() const { return m_address; }
    unsigned short port() const { return m_port; }

    // "10.0.0.1:8080".
    gt::core::String toString() const;

    bool operator==(SocketAddress const& other) const {
        return m_address == other.m_address && m_port == other.m_port;
    }
    bool operator!=(SocketAddress const& other) const { return !(*this == other); }
    bool operator<(SocketAddress const& other) const {
        return m_address != other.m_address ? m_address < other.m_address : m_port < other.m_port;
    }

private:
    IpAddress m_address;
    unsigned short m_port;
};

// The computer's host name; empty when the system cannot tell.
gt::core::String hostName();
// "loopback" (any letter case), a dotted quad, or a name resolved to one of
// its addresses picked at random; the none-address when nothing fits.
IpAddress resolveHostAddress(gt::core::String const& host);
// Decimal port text; 0 when it is not a number or lies outside 0..65535
// (never a port wrapped into 16 bits).
unsigned short parsePort(gt::core::String const& text);
// "host[:port]": the host as resolveHostAddress reads it, the port the
// decimal number after the first ':' (0 when missing or not a number).
SocketAddress parseSocketAddress(gt::core::String const& text);

}  // namespace net
}  // namespace gt
