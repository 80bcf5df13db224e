// The Python relay double (tests/tunnel/relay/relay.py) for the engine tests.
// One child process per test program serves every relay: each TestRelay is one
// more listener in it ("listen"), driven through the line commands on
// stdin/stdout, and stopped again when the TestRelay goes away.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace testing_relay {

// The child process; started on first use, ended when the program exits.
class RelayProcess {
public:
    static RelayProcess& instance() {
        static RelayProcess process;
        return process;
    }

    // Sends one command line and returns the answer line ("ok ..." / "err ...").
    std::string command(std::string const& line) {
        std::fputs((line + "\n").c_str(), m_in);
        std::fflush(m_in);
        return _readLine();
    }

private:
    RelayProcess() {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        std::string script = std::string(GT_SOURCE_DIR) + "/tests/tunnel/relay/relay.py";
        char const* argv[] = {"python3", "-u", script.c_str(), nullptr};
        int rc = posix_spawnp(&m_pid, "python3", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        if (rc != 0) {
            close(toChild[1]);
            close(fromChild[0]);
            throw std::runtime_error("cannot start python3");
        }
        m_in = fdopen(toChild[1], "w");
        m_out = fdopen(fromChild[0], "r");
        std::string first = _readLine();
        if (first.compare(0, 5, "port ") != 0) throw std::runtime_error("relay did not start: " + first);
    }

    ~RelayProcess() {
        std::fputs("quit\n", m_in);
        std::fclose(m_in);
        std::fclose(m_out);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }

    std::string _readLine() {
        std::string line;
        int c;
        while ((c = std::fgetc(m_out)) != EOF && c != '\n')
            line += static_cast<char>(c);
        return line;
    }

    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    FILE* m_out = nullptr;
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

}  // namespace testing_relay
