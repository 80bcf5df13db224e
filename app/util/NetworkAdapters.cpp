#include "app/util/NetworkAdapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

using gt::core::Array;
using gt::core::String;

namespace tunnel {

Array<String> NetworkAdapters::ipv4Addresses() {
    Array<String> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (ifaddrs const* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        unsigned const upAndRunning = IFF_UP | IFF_RUNNING;
        if ((entry->ifa_flags & upAndRunning) != upAndRunning) continue;
        char text[INET_ADDRSTRLEN];
        in_addr const address = reinterpret_cast<sockaddr_in const*>(entry->ifa_addr)->sin_addr;
        if (::inet_ntop(AF_INET, &address, text, sizeof text)) out.add(String::fromUtf8(text));
    }
    ::freeifaddrs(list);
    return out;
}

Array<String> NetworkAdapters::bindable(Array<String> const& addresses) {
    Array<String> out;
    for (String const& address : addresses) {
        if (address.isEmpty()) continue;
        int const dot = address.indexOf(u'.');
        String const first = dot < 0 ? address : address.left(dot);
        if (first == String(u"127") || first == String(u"0")) continue;
        out.add(address);
    }
    return out;
}

}  // namespace tunnel
