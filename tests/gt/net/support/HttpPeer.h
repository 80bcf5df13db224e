// Starts the Python HTTP server double (tests/gt/net/peers/http_peer.py) on
// 127.0.0.1 for one test fixture and stops it afterwards.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace gt {
namespace test {

class HttpPeer {
public:
    HttpPeer() {
        char const* source = std::getenv("GT_SOURCE_DIR");
        std::string script =
            std::string(source ? source : GT_SOURCE_DIR) + "/tests/gt/net/peers/http_peer.py";
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        char const* argv[] = {"python3", script.c_str(), nullptr};
        int rc = posix_spawnp(&m_pid, "python3", &actions, nullptr, const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_stdin = in[1];
        if (rc != 0) {
            m_pid = -1;
            ::close(out[0]);
            return;
        }
        // The first line is "PORT <n>".
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        if (line.rfind("PORT ", 0) == 0) m_port = std::atoi(line.c_str() + 5);
    }

    ~HttpPeer() {
        if (m_stdin >= 0) ::close(m_stdin);  // end of input stops the peer
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }

    HttpPeer(HttpPeer const&) = delete;
    HttpPeer& operator=(HttpPeer const&) = delete;

    // 0 when the peer did not start.
    int port() const { return m_port; }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_port = 0;
};

}  // namespace test
}  // namespace gt
