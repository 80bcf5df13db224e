#include "tunnel/api/HostOptimizer.h"

#include "gt/core/lang/NumberText.h"
#include "gt/net/socket/IpAddress.h"

using gt::core::Array;
using gt::core::String;
using gt::net::SocketAddress;

namespace tunnel {

HostOptimizer::HostOptimizer(SaOptimizer* optimizer) : m_optimizer(optimizer) {}

HostOptimizer::~HostOptimizer() = default;

Array<SocketAddress> HostOptimizer::candidates(String const& entry) {
    int const colon = entry.indexOf(u':');
    String const host = colon < 0 ? entry : entry.left(colon);
    String const portText = colon < 0 ? String() : entry.mid(colon + 1, entry.length() - colon - 1);
    // A port that is not a number reads as 0 and fails at connect; one that
    // does not fit 16 bits too, rather than wrapping onto another port.
    long long port = portText.isEmpty() ? 80 : gt::core::detail::parseDecimal(portText, 0, 65536);
    if (port > 65535) port = 0;

    Array<SocketAddress> result;
    Array<gt::net::IpAddress> addresses;
    if (gt::net::IpAddress::isDottedQuad(host)) {
        addresses.add(gt::net::IpAddress(host));
    } else {
        addresses = gt::net::IpAddress::resolve(host);
    }
    for (gt::net::IpAddress const& address : addresses)
        result.add(SocketAddress(address, static_cast<unsigned short>(port)));
    return result;
}

SocketAddress HostOptimizer::optimize(Array<String> const& hosts) {
    if (!m_optimizer) return SocketAddress::none();
    for (String const& entry : hosts) {
        Array<SocketAddress> const addresses = candidates(entry);
        if (addresses.isEmpty()) continue;
        SocketAddress const winner = m_optimizer->optimize(addresses);
        if (winner != SocketAddress::none()) return winner;
    }
    return SocketAddress::none();
}

}  // namespace tunnel
