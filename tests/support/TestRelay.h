// The Python relay double (tests/peers/relay.py) for the engine tests.
// One child process per test program serves every relay: each TestRelay is one
// more listener in it ("listen"), driven through the line commands on
// stdin/stdout, and stopped again when the TestRelay goes away.
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/PythonPeer.h"

namespace gt {
namespace test {

// The child process; started on first use, ended when the program exits.
class RelayProcess {
public:
    static RelayProcess& instance() {
        static RelayProcess process;
        return process;
    }

    // Sends one command line and returns the answer line ("ok ..." / "err ...").
    std::string command(std::string const& line) { return m_peer.command(line); }

private:
    RelayProcess() : m_peer("peers.relay") { m_peer.readPort("port "); }
    ~RelayProcess() { m_peer.finish("quit", false); }

    PythonPeer m_peer;
};

// One relay server on 127.0.0.1 with an ephemeral port.
class TestRelay {
public:
    TestRelay() {
        std::istringstream words(RelayProcess::instance().command("listen"));
        std::string ok;
        words >> ok >> m_id >> m_port;
        if (ok != "ok") throw std::runtime_error("relay did not listen");
    }
    ~TestRelay() { command("stop"); }
    TestRelay(TestRelay const&) = delete;
    TestRelay& operator=(TestRelay const&) = delete;

    unsigned short port() const { return static_cast<unsigned short>(m_port); }

    // One command to this relay (see relay.py); the answer line.
    std::string command(std::string const& line) {
        return RelayProcess::instance().command("@" + std::to_string(m_id) + " " + line);
    }

    // Frame bodies received on connection conn, as lower-case hex.
    std::vector<std::string> frames(int conn) {
        std::istringstream words(command("frames " + std::to_string(conn)));
        std::vector<std::string> out;
        std::string word;
        words >> word;  // "ok"
        while (words >> word)
            out.push_back(word == "-" ? std::string() : word);
        return out;
    }

private:
    int m_id = 0;
    int m_port = 0;
};

}  // namespace test
}  // namespace gt
