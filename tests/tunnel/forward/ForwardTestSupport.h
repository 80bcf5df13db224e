// Fixtures of the forwarder tests: a tunnel that records what the forwarder
// sends, and a local target on loopback driven from the test thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gt/core/lang/Binary.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/socket/Socket.h"
#include "gt/net/socket/SocketAddress.h"
#include "support/Text.h"
#include "tunnel/forward/IActionDown.h"

namespace forward_test {

inline gt::net::SocketAddress loopback(unsigned short port, unsigned address = 0x7F000001u) {
    return gt::net::SocketAddress(gt::net::IpAddress(address), port);
}

using gt::test::bin;
using gt::test::bytes;

// What the forwarder sent over the tunnel, in order.
struct Sent {
    enum Kind { DATA, WINDOW, SHUTDOWN } kind;
    short channelId;
    std::string data;
    int credit;
};

class RecordingTunnel : public tunnel::IActionDown {
public:
    void send(short channelId, gt::core::Binary const& data) override {
        sent.push_back({Sent::DATA, channelId, bytes(data), 0});
    }
    void window(short channelId, int credit) override {
        sent.push_back({Sent::WINDOW, channelId, "", credit});
    }
    void shutdown(short channelId) override { sent.push_back({Sent::SHUTDOWN, channelId, "", 0}); }

    int count(Sent::Kind kind, short channelId) const {
        int n = 0;
        for (Sent const& s : sent)
            if (s.kind == kind && s.channelId == channelId) ++n;
        return n;
    }
    bool has(Sent::Kind kind, short channelId) const { return count(kind, channelId) > 0; }
    // All DATA bytes of the channel, concatenated.
    std::string data(short channelId) const {
        std::string out;
        for (Sent const& s : sent)
            if (s.kind == Sent::DATA && s.channelId == channelId) out += s.data;
        return out;
    }
    // The sum of WINDOW credits of the channel.
    long long credit(short channelId) const {
        long long sum = 0;
        for (Sent const& s : sent)
            if (s.kind == Sent::WINDOW && s.channelId == channelId) sum += s.credit;
        return sum;
    }

    std::vector<Sent> sent;
};

// A listening socket on 127.0.0.1 whose connections the test accepts and
// reads or writes itself (blocking, with time-outs).
class LocalTarget {
public:
    LocalTarget() : m_listener(gt::net::Socket::TYPE_TCP) {
        m_listener.setReuseAddress(true);
        m_listener.bind(loopback(0));
        m_listener.listen();
        m_listener.setBlocking(false);
    }
    unsigned short port() const { return m_listener.localAddress().port(); }
    // Accepts what is waiting; the number of connections accepted so far.
    int accepted() {
        for (;;) {
            gt::net::Socket s(0);
            if (!m_listener.accept(&s)) break;
            s.setBlocking(true);
            s.setRecvTimeout(3000);
            s.setSendTimeout(3000);
            m_connections.push_back(std::make_unique<gt::net::Socket>(std::move(s)));
        }
        return static_cast<int>(m_connections.size());
    }
    gt::net::Socket& connection(int i) { return *m_connections.at(i); }

    // Reads exactly n bytes (less when the peer closes or 3 s pass).
    std::string read(int i, int n) {
        std::string out;
        gt::core::Binary buffer(65536, 0);
        while (static_cast<int>(out.size()) < n) {
            int const want = std::min(65536, n - static_cast<int>(out.size()));
            int got = connection(i).recv(buffer, 0, want);
            if (got <= 0) break;
            out.append(buffer.data(), static_cast<size_t>(got));
        }
        return out;
    }
    // True when the peer has closed (end of file or reset) within 3 s.
    bool closedByPeer(int i) {
        gt::core::Binary buffer(1, 0);
        return connection(i).recv(buffer, 0, 1) <= 0;
    }
    void write(int i, std::string const& bytes) {
        gt::core::Binary b = bin(bytes);
        int pos = 0;
        while (pos < b.length()) {
            int n = connection(i).send(b, pos, b.length() - pos);
            if (n <= 0) break;
            pos += n;
        }
    }

private:
    gt::net::Socket m_listener;
    std::vector<std::unique_ptr<gt::net::Socket>> m_connections;
};

// Polls the selector in short turns until done() holds or ms have passed.
inline bool pumpUntil(gt::net::SocketEventSelector& selector, std::function<bool()> const& done,
                      int ms = 3000) {
    auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        selector.poll(5);
    }
    return true;
}

// Polls the selector for ms.
inline void pumpFor(gt::net::SocketEventSelector& selector, int ms) {
    pumpUntil(
        selector, [] { return false; }, ms);
}

}  // namespace forward_test
