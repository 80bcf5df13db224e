// The Python cloud API double (tests/peers/cloud.py) as a child process: one
// or more API servers on 127.0.0.1 sharing one state, driven through the line
// commands on stdin/stdout (see the top of cloud.py for the commands and the
// state format).
#pragma once

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/PythonPeer.h"

namespace gt {
namespace test {

class TestCloud {
public:
    // state: a state file relative to the source tree (empty for an empty
    // state); defines: NAME=VALUE texts for its ${NAME} places; servers: how
    // many listeners on ephemeral ports, or the given ports when there are
    // some (a port taken by another program makes the start fail). Throws
    // when the double does not come up.
    explicit TestCloud(std::string const& state = "tests/peers/cloud_demo_state.json",
                       std::vector<std::string> const& defines = {}, int servers = 1,
                       std::vector<unsigned short> const& fixedPorts = {})
        : m_peer("peers.cloud", arguments(state, defines, servers, fixedPorts)) {
        std::string first = m_peer.readLine();
        if (first.compare(0, 6, "ready ") != 0)
            throw std::runtime_error("cloud double did not start: " + first);
        std::istringstream ports(first.substr(6));
        std::string port;
        while (std::getline(ports, port, ','))
            m_ports.push_back(static_cast<unsigned short>(std::stoi(port)));
    }
    ~TestCloud() { m_peer.finish("quit", true); }
    TestCloud(TestCloud const&) = delete;
    TestCloud& operator=(TestCloud const&) = delete;

    unsigned short port(size_t server = 0) const { return m_ports.at(server); }
    std::vector<unsigned short> const& ports() const { return m_ports; }

    // One command line (words or a JSON object); the answer ("ok ..." / "err ...").
    std::string command(std::string const& line) { return m_peer.command(line); }

    // The recorded requests as the JSON array text of "calls".
    std::string calls(int since = 0) {
        std::string answer = command("calls since=" + std::to_string(since));
        if (answer.compare(0, 3, "ok ") != 0) throw std::runtime_error("calls failed: " + answer);
        return answer.substr(3);
    }

private:
    static std::vector<std::string> arguments(std::string const& state,
                                              std::vector<std::string> const& defines, int servers,
                                              std::vector<unsigned short> const& fixedPorts) {
        std::vector<std::string> args = {"--serve"};
        if (fixedPorts.empty()) {
            args.push_back("--listen");
            args.push_back(std::to_string(servers));
        } else {
            std::string list;
            for (unsigned short port : fixedPorts)
                list += (list.empty() ? "" : ",") + std::to_string(port);
            args.push_back("--ports");
            args.push_back(list);
        }
        if (!state.empty()) {
            char const* source = std::getenv("GT_SOURCE_DIR");
            args.push_back("--state");
            args.push_back(std::string(source ? source : GT_SOURCE_DIR) + "/" + state);
        }
        for (std::string const& define : defines) {
            args.push_back("--define");
            args.push_back(define);
        }
        return args;
    }

    PythonPeer m_peer;
    std::vector<unsigned short> m_ports;
};

}  // namespace test
}  // namespace gt
