// Runs the Python relay double (tests/tunnel/relay/relay.py) as a child
// process and drives it through its line commands on stdin/stdout.
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

class TestRelay {
public:
    TestRelay() {
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
        std::string first = readLine();
        if (first.compare(0, 5, "port ") != 0) throw std::runtime_error("relay did not start: " + first);
        m_port = std::stoi(first.substr(5));
    }

    ~TestRelay() {
        if (m_in) {
            std::fputs("quit\n", m_in);
            std::fclose(m_in);
        }
        if (m_out) std::fclose(m_out);
        int status = 0;
        if (m_pid > 0 && waitpid(m_pid, &status, 0) < 0) kill(m_pid, SIGKILL);
    }

    TestRelay(TestRelay const&) = delete;
    TestRelay& operator=(TestRelay const&) = delete;

    unsigned short port() const { return static_cast<unsigned short>(m_port); }

    // Sends one command line and returns the answer line ("ok ..." / "err ...").
    std::string command(std::string const& line) {
        std::fputs((line + "\n").c_str(), m_in);
        std::fflush(m_in);
        return readLine();
    }

    // Frame bodies received on connection conn, as lower-case hex ("-" for empty).
    std::vector<std::string> frames(int conn) {
        std::istringstream words(command("frames " + std::to_string(conn)));
        std::vector<std::string> out;
        std::string word;
        words >> word;  // "ok"
        while (words >> word)
            out.push_back(word == "-" ? std::string() : word);
        return out;
    }

    static std::string hex(std::string const& bytes) {
        static char const digits[] = "0123456789abcdef";
        if (bytes.empty()) return "-";
        std::string out;
        for (unsigned char c : bytes) {
            out += digits[c >> 4];
            out += digits[c & 15];
        }
        return out;
    }

private:
    std::string readLine() {
        std::string line;
        int c;
        while ((c = std::fgetc(m_out)) != EOF && c != '\n')
            line += static_cast<char>(c);
        return line;
    }

    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    FILE* m_out = nullptr;
    int m_port = 0;
};

}  // namespace testing_relay
