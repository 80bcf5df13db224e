// Shared fixture of the service manager tests: a temporary registry folder,
// short connect time-outs, the test service program and a clean-up that
// kills every service process a test left running.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gt/svc/ServiceManager.h"
#include "gt/svc/ServiceRegistry.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace gt {
namespace test {

class SvcTest : public ::testing::Test {
protected:
    SvcTest()
        : m_registry("GT_SERVICE_REGISTRY", m_dir.path("registry").c_str()),
          m_connect("GT_SERVICE_CONNECT_TIMEOUT_MS", "10000"),
          m_admin("GT_SERVICE_ADMIN", nullptr) {}

    ~SvcTest() override {
        // Nothing a test started may outlive it.
        std::vector<svc::ServiceConfig> configs;
        svc::ServiceManager manager;
        manager.list(&configs);
        for (auto const& config : configs) {
            svc::ServiceStatus status;
            if (manager.queryStatus(config.name, &status) == svc::SERVICE_OK && status.processId > 0) {
                ::kill(status.processId, SIGKILL);
            }
        }
    }

    static std::string service() { return GT_SVC_TEST_SERVICE; }
    static core::String commandLine(char const* mode) {
        return core::String::fromUtf8((service() + " " + mode).c_str());
    }
    std::string registryFile(std::string const& name) const { return m_dir.path("registry/" + name); }

    // Runs argv with extra environment entries and waits (bounded) for its
    // exit code; output goes to the given file. -1 when it did not end.
    static int runProgram(std::vector<std::string> const& args, std::string const& output = "/dev/null",
                          int timeoutMs = 20000) {
        std::vector<char*> argv;
        for (auto const& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = ::fork();
        if (pid == 0) {
            int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        bool ended = waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    TempDir m_dir;
    ScopedEnv m_registry;
    ScopedEnv m_connect;
    ScopedEnv m_admin;
};

}  // namespace test
}  // namespace gt
