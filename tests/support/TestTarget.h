// The Python local target doubles (tests/peers/targets.py) for the
// engine tests: one child process per target, driven through its line
// commands on stdin/stdout.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/PythonPeer.h"

namespace gt {
namespace test {

class TestTarget {
public:
    // kind: "echo", "sink", "refuse" or "hold"; options such as "rate=1000".
    explicit TestTarget(std::string const& kind, std::string const& options = std::string()) {
        std::vector<std::string> args = {kind};
        if (!options.empty()) args.push_back(options);
        m_peer.reset(new PythonPeer("peers.targets", args));
        m_port = m_peer->readPort("port ");
    }

    ~TestTarget() { m_peer->finish("quit", true); }

    TestTarget(TestTarget const&) = delete;
    TestTarget& operator=(TestTarget const&) = delete;

    unsigned short port() const { return static_cast<unsigned short>(m_port); }

    // One command (see targets.py); the answer line.
    std::string command(std::string const& line) { return m_peer->command(line); }

    // Connections accepted so far.
    int connections() {
        std::string answer = command("conns");
        return answer.compare(0, 3, "ok ") == 0 ? std::stoi(answer.substr(3)) : -1;
    }

private:
    std::unique_ptr<PythonPeer> m_peer;
    int m_port = 0;
};

}  // namespace test
}  // namespace gt
