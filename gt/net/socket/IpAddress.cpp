#include "gt/net/socket/IpAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <string>
#include <vector>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Random.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/StringScanner.h"

namespace gt {
namespace net {

using gt::core::Binary;
using gt::core::String;

namespace {

// The text as a NUL-terminated byte string for the C resolver; false when
// the text holds a NUL of its own (the resolver would read only a prefix).
bool toCText(String const& text, std::string& out) {
    if (text.indexOf(u'\0') >= 0) return false;
    Binary bytes = text.toBinary();
    out.assign(bytes.data(), static_cast<size_t>(bytes.length()));
    return true;
}

}  // namespace

IpAddress::IpAddress(String const& text) : m_value(0) {
    std::string bytes;
    if (!toCText(text, bytes)) return;
    m_value = ntohl(inet_addr(bytes.c_str()));
    if (m_value == 0xFFFFFFFFu && !isDottedQuad(text)) m_value = 0;
}

String IpAddress::toString() const {
    in_addr address;
    address.s_addr = htonl(m_value);
    char buffer[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &address, buffer, sizeof buffer) == nullptr) return String();
    return String::fromUtf8(buffer);
}

bool IpAddress::isDottedQuad(String const& text) {
    gt::core::StringScanner scanner(text);
    String rebuilt;
    for (int i = 0; i < 4; ++i) {
        unsigned part = static_cast<unsigned>(gt::core::Integer::parse(scanner.readUntil(u'.', false)));
        if (part > 255) return false;
        if (i > 0) rebuilt.append(u'.');
        rebuilt.append(gt::core::Integer(static_cast<int>(part)).toString());
    }
    return rebuilt == text;
}

gt::core::Array<IpAddress> IpAddress::resolve(String const& host) {
    gt::core::Array<IpAddress> result;
    std::string name;
    if (!toCText(host, name) || name.empty()) return result;

    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo* list = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0) return result;
    std::vector<IpAddress> found;
    for (addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
        sockaddr_in const* address = reinterpret_cast<sockaddr_in const*>(entry->ai_addr);
        found.push_back(IpAddress(ntohl(address->sin_addr.s_addr)));
    }
    freeaddrinfo(list);

    result.reserve(static_cast<int>(found.size()));
    while (!found.empty()) {
        int index = gt::core::Random().nextInt(static_cast<int>(found.size()));
        result.add(found[static_cast<size_t>(index)]);
        found.erase(found.begin() + index);
    }
    return result;
}

IpAddress IpAddress::resolveFirst(String const& host) {
    gt::core::Array<IpAddress> all = resolve(host);
    return all.count() == 0 ? IpAddress() : all[0];
}

String IpAddress::lookupName(IpAddress const& address) {
    if (address.m_value == 0 || address.m_value == 0xFFFFFFFFu) return String();
    sockaddr_in socketAddress;
    std::memset(&socketAddress, 0, sizeof socketAddress);
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = htonl(address.m_value);
    char name[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<sockaddr const*>(&socketAddress), sizeof socketAddress, name,
                    sizeof name, nullptr, 0, NI_NAMEREQD) != 0) {
        return String();
    }
    return String::fromUtf8(name);
}

}  // namespace net
}  // namespace gt
