// Small helpers of the engine tests: hex text, loopback addresses, stepping
// an event loop until something happened.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "gt/core/lang/Binary.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/socket/Socket.h"
#include "gt/net/socket/SocketAddress.h"
#include "support/Text.h"

namespace engine_test {

inline gt::net::SocketAddress loopback(unsigned short port) {
    return gt::net::SocketAddress(gt::net::IpAddress(0x7F000001u), port);
}

using gt::test::hex;
using gt::test::unhex;

// Hex of the UTF-8 bytes of a text, as the relay's commands take it.
inline std::string hexOf(std::string const& text) {
    return hex(gt::core::Binary(text.data(), static_cast<int>(text.size())));
}

// Polls the selector in short turns until done() holds or ms have passed.
inline bool pumpUntil(gt::net::SocketEventSelector& selector, std::function<bool()> const& done,
                      int ms = 3000) {
    auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        selector.poll(10);
    }
    return true;
}

// A loopback port that nothing listens on (bound once, then released).
inline unsigned short unusedPort() {
    gt::net::Socket probe(gt::net::Socket::TYPE_TCP);
    probe.bind(loopback(0));
    return probe.localAddress().port();
}

// A blocking socket connected to 127.0.0.1:port.
inline gt::net::Socket connectTo(unsigned short port) {
    gt::net::Socket socket(gt::net::Socket::TYPE_TCP);
    socket.connect(loopback(port));
    return socket;
}

}  // namespace engine_test
