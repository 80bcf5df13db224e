// The Python local target doubles (tests/tunnel/targets/targets.py) for the
// engine tests: one child process per target, driven through its line
// commands on stdin/stdout.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

extern char** environ;

namespace testing_target {

class TestTarget {
public:
    // kind: "echo", "sink", "refuse" or "hold"; options such as "rate=1000".
    explicit TestTarget(std::string const& kind, std::string const& options = std::string()) {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        std::string script = std::string(GT_SOURCE_DIR) + "/tests/tunnel/targets/targets.py";
        char const* argv[] = {
            "python3", "-u", script.c_str(), kind.c_str(), options.empty() ? nullptr : options.c_str(),
            nullptr};
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
        if (first.compare(0, 5, "port ") != 0) throw std::runtime_error("target did not start: " + first);
        m_port = std::stoi(first.substr(5));
    }

    ~TestTarget() {
        std::fputs("quit\n", m_in);
        std::fflush(m_in);
        _readLine();  // "bye"
        std::fclose(m_in);
        std::fclose(m_out);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }

    TestTarget(TestTarget const&) = delete;
    TestTarget& operator=(TestTarget const&) = delete;

    unsigned short port() const { return static_cast<unsigned short>(m_port); }

    // One command (see targets.py); the answer line.
    std::string command(std::string const& line) {
        std::fputs((line + "\n").c_str(), m_in);
        std::fflush(m_in);
        return _readLine();
    }

    // Connections accepted so far.
    int connections() {
        std::string answer = command("conns");
        return answer.compare(0, 3, "ok ") == 0 ? std::stoi(answer.substr(3)) : -1;
    }

private:
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
    int m_port = 0;
};

}  // namespace testing_target
