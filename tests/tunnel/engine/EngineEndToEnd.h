// Pieces of the end-to-end engine tests: a log that records its lines, and a
// public user of a forward (a blocking socket to the relay's public port).
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/net/socket/Socket.h"
#include "gt/net/socket/SocketAddress.h"
#include "gt/util/ILogRecorder.h"

namespace engine_e2e {

class RecordingLog : public gt::util::ILogRecorder {
public:
    void info(gt::core::String const& message) override { _add("I " + _utf8(message)); }
    void warn(gt::core::String const& message) override { _add("W " + _utf8(message)); }
    void error(gt::core::String const& message) override { _add("E " + _utf8(message)); }

    // Lines that contain the text.
    int count(std::string const& text) const {
        std::lock_guard<std::mutex> guard(m_mutex);
        int n = 0;
        for (std::string const& line : m_lines)
            if (line.find(text) != std::string::npos) ++n;
        return n;
    }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_lines;
    }

private:
    static std::string _utf8(gt::core::String const& s) {
        gt::core::Binary b = s.toBinary();
        return std::string(b.data(), static_cast<size_t>(b.length()));
    }
    void _add(std::string const& line) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lines.push_back(line);
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// Waits until condition() holds, at most ms.
template <class F>
bool waitFor(F condition, int ms) {
    auto const until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A public user: a blocking connection to 127.0.0.1:port.
class PublicClient {
public:
    explicit PublicClient(unsigned short port) : m_socket(gt::net::Socket::TYPE_TCP) {
        m_socket.connect(gt::net::SocketAddress(gt::net::IpAddress(0x7F000001u), port));
        m_socket.setRecvTimeout(5000);
        m_socket.setSendTimeout(5000);
    }

    bool write(std::string const& bytes) {
        gt::core::Binary b(bytes.data(), static_cast<int>(bytes.size()));
        int pos = 0;
        while (pos < b.length()) {
            int n = m_socket.send(b, pos, b.length() - pos);
            if (n <= 0) return false;
            pos += n;
        }
        return true;
    }

    // Exactly n bytes, or fewer when the connection ends or 5 s pass.
    std::string read(size_t n) {
        std::string out;
        gt::core::Binary buffer(65536, 0);
        while (out.size() < n) {
            int const want = static_cast<int>(std::min<size_t>(65536, n - out.size()));
            int got = m_socket.recv(buffer, 0, want);
            if (got <= 0) break;
            out.append(buffer.data(), static_cast<size_t>(got));
        }
        return out;
    }

    // True when the relay ended the connection (end of file or reset) within 5 s.
    bool ended() {
        gt::core::Binary buffer(1, 0);
        return m_socket.recv(buffer, 0, 1) <= 0;
    }

    void shutdownWrite() { m_socket.shutdown(gt::net::Socket::SHUT_SEND); }
    void close() { m_socket = gt::net::Socket(0); }
    unsigned short localPort() const { return m_socket.localAddress().port(); }
    gt::net::Socket& socket() { return m_socket; }

private:
    gt::net::Socket m_socket;
};

}  // namespace engine_e2e
