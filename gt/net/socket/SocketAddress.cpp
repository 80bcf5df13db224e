#include "gt/net/socket/SocketAddress.h"

#include <unistd.h>

#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Random.h"
#include "gt/core/util/Array.h"

namespace gt {
namespace net {

using gt::core::String;

String SocketAddress::toString() const {
    return m_address.toString() + u':' + gt::core::Integer(static_cast<int>(m_port)).toString();
}

String hostName() {
    char name[256] = {};
    if (gethostname(name, 255) != 0) return String();
    return String::fromUtf8(name);
}

IpAddress resolveHostAddress(String const& host) {
    if (host.toLower() == String(u"loopback")) return IpAddress(String(u"127.0.0.1"));
    if (IpAddress::isDottedQuad(host)) return IpAddress(host);
    gt::core::Array<IpAddress> all = IpAddress::resolve(host);
    if (all.count() == 0) return IpAddress();
    return all[gt::core::Random().nextInt(all.count())];
}

unsigned short parsePort(String const& text) {
    int const number = gt::core::Integer::parse(text);
    return number < 0 || number > 65535 ? 0 : static_cast<unsigned short>(number);
}

SocketAddress parseSocketAddress(String const& text) {
    int colon = text.indexOf(u':');
    String host = colon < 0 ? text : text.left(colon);
    String port = colon < 0 ? String() : text.mid(colon + 1, text.length() - colon - 1);
    return SocketAddress(resolveHostAddress(host), parsePort(port));
}

}  // namespace net
}  // namespace gt
