// A Python test peer run as a child process and driven through line commands
// on its standard input and output (python3 -u -m <module> <args...>, with
// tests/ first on PYTHONPATH so that the package "peers" is found).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace gt {
namespace test {

class PythonPeer {
public:
    // module names a double of tests/ ("peers.relay").
    // Throws when python3 cannot be started.
    explicit PythonPeer(std::string const& module, std::vector<std::string> const& args = {}) {
        char const* source = std::getenv("GT_SOURCE_DIR");
        std::string tests = std::string(source ? source : GT_SOURCE_DIR) + "/tests";
        std::vector<std::string> env;
        std::string path = "PYTHONPATH=" + tests;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "PYTHONPATH=", 11) == 0)
                path += std::string(":") + (*e + 11);
            else
                env.push_back(*e);
        }
        env.push_back(path);
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(&e[0]);
        envp.push_back(nullptr);
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        if (pipe2(fromChild, O_CLOEXEC) != 0) {
            close(toChild[0]);
            close(toChild[1]);
            throw std::runtime_error("pipe failed");
        }
        std::vector<char const*> argv = {"python3", "-u", "-m", module.c_str()};
        for (std::string const& arg : args)
            argv.push_back(arg.c_str());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        int rc =
            posix_spawnp(&m_pid, "python3", &actions, nullptr, const_cast<char**>(argv.data()), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        if (rc != 0) {
            close(toChild[1]);
            close(fromChild[0]);
            m_pid = -1;
            throw std::runtime_error("cannot start python3");
        }
        m_in = fdopen(toChild[1], "w");
        m_out = fdopen(fromChild[0], "r");
    }

    // Ends the peer: the quit command when given (answer read when
    // awaitAnswer), end of input, then a bounded wait before SIGKILL.
    ~PythonPeer() { finish(std::string(), false); }

    void finish(std::string const& quit, bool awaitAnswer) {
        if (m_pid <= 0) return;
        if (!quit.empty()) {
            std::fputs((quit + "\n").c_str(), m_in);
            std::fflush(m_in);
            if (awaitAnswer) readLine();
        }
        std::fclose(m_in);
        std::fclose(m_out);
        int status = 0;
        for (int i = 0; i < 500 && waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            usleep(10000);
        if (waitpid(m_pid, &status, WNOHANG) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }

    PythonPeer(PythonPeer const&) = delete;
    PythonPeer& operator=(PythonPeer const&) = delete;

    // Sends one command line and returns the answer line.
    std::string command(std::string const& line) {
        std::fputs((line + "\n").c_str(), m_in);
        std::fflush(m_in);
        return readLine();
    }

    // The next line the peer printed, without its line end ("" at the end).
    std::string readLine() {
        std::string line;
        int c;
        while ((c = std::fgetc(m_out)) != EOF && c != '\n')
            line += static_cast<char>(c);
        return line;
    }

    // Reads the first line, which must be "<prefix><port>"; returns the port.
    int readPort(std::string const& prefix) {
        std::string first = readLine();
        if (first.compare(0, prefix.size(), prefix) != 0)
            throw std::runtime_error("test peer did not start: " + first);
        return std::stoi(first.substr(prefix.size()));
    }

private:
    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    FILE* m_out = nullptr;
};

}  // namespace test
}  // namespace gt
