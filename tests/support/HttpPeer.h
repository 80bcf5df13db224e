// Starts the Python HTTP server double (tests/peers/http_peer.py) on
// 127.0.0.1 for one test fixture and stops it afterwards.
#pragma once

#include <string>

#include "support/PythonPeer.h"

namespace gt {
namespace test {

class HttpPeer {
public:
    HttpPeer() : m_peer("peers.http_peer") { m_port = m_peer.readPort("PORT "); }
    // End of input stops the peer.
    ~HttpPeer() { m_peer.finish(std::string(), false); }
    HttpPeer(HttpPeer const&) = delete;
    HttpPeer& operator=(HttpPeer const&) = delete;

    int port() const { return m_port; }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    PythonPeer m_peer;
    int m_port = 0;
};

}  // namespace test
}  // namespace gt
