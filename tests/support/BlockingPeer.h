// The far end of a loopback connection driven from the test thread with
// blocking calls: read exactly, write all, see the end of the connection.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gt/core/lang/Binary.h"
#include "gt/net/socket/Socket.h"
#include "support/Loopback.h"

namespace gt {
namespace test {

// Exactly n bytes, or fewer when the connection ends or the socket's receive time-out passes.
inline std::string readExactly(gt::net::Socket& socket, size_t n) {
    std::string out;
    gt::core::Binary buffer(65536, 0);
    while (out.size() < n) {
        int const want = static_cast<int>(std::min<size_t>(65536, n - out.size()));
        int got = socket.recv(buffer, 0, want);
        if (got <= 0) break;
        out.append(buffer.data(), static_cast<size_t>(got));
    }
    return out;
}

// Writes every byte; false when a send fails first.
inline bool writeAll(gt::net::Socket& socket, std::string const& bytes) {
    gt::core::Binary b(bytes.data(), static_cast<int>(bytes.size()));
    int pos = 0;
    while (pos < b.length()) {
        int n = socket.send(b, pos, b.length() - pos);
        if (n <= 0) return false;
        pos += n;
    }
    return true;
}

// True when the peer ended the connection (end of file or reset) within the receive time-out.
inline bool endedByPeer(gt::net::Socket& socket) {
    gt::core::Binary buffer(1, 0);
    return socket.recv(buffer, 0, 1) <= 0;
}

// A blocking connection to 127.0.0.1:port with 5 s time-outs (a public user of a forward).
class BlockingPeer {
public:
    explicit BlockingPeer(unsigned short port) : m_socket(gt::net::Socket::TYPE_TCP) {
        m_socket.connect(loopback(port));
        m_socket.setRecvTimeout(5000);
        m_socket.setSendTimeout(5000);
    }

    bool write(std::string const& bytes) { return writeAll(m_socket, bytes); }
    // Exactly n bytes, or fewer when the connection ends or 5 s pass.
    std::string read(size_t n) { return readExactly(m_socket, n); }
    // True when the far side ended the connection (end of file or reset) within 5 s.
    bool ended() { return endedByPeer(m_socket); }

    void shutdownWrite() { m_socket.shutdown(gt::net::Socket::SHUT_SEND); }
    void close() { m_socket = gt::net::Socket(0); }
    unsigned short localPort() const { return m_socket.localAddress().port(); }
    gt::net::Socket& socket() { return m_socket; }

private:
    gt::net::Socket m_socket;
};

// A listening socket on 127.0.0.1 whose connections the test accepts and
// reads or writes itself (blocking, with 3 s time-outs): a local target.
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
    std::string read(int i, int n) { return readExactly(connection(i), static_cast<size_t>(n)); }
    // True when the peer has closed (end of file or reset) within 3 s.
    bool closedByPeer(int i) { return endedByPeer(connection(i)); }
    void write(int i, std::string const& bytes) { writeAll(connection(i), bytes); }

private:
    gt::net::Socket m_listener;
    std::vector<std::unique_ptr<gt::net::Socket>> m_connections;
};

}  // namespace test
}  // namespace gt
