// One child program: started from a command line (split into arguments, no
// shell) or from its arguments as they are, optionally in another working directory and with its standard
// streams sent to given files or to the null device. The owner polls whether
// it runs, reads its exit code and can kill it. A child is always reaped: by
// the polls while the object watches it, and in the background once the
// object lets go of a child that still runs.
#pragma once

#include <memory>
#include <vector>

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class ISystemFileObject;

class Process {
public:
    // Exit code reported while the child still runs.
    static constexpr int STILL_ACTIVE = 259;

    struct StartInfo {
        // Program path first, then the arguments; double quotes group text
        // with blanks into one argument.
        String commandLine;
        // When not empty, the program path and the arguments exactly as the
        // child receives them, in place of commandLine: text from elsewhere
        // (quotes, blanks and all) can never turn into further arguments.
        std::vector<String> arguments;
        // 1 hidden, 2 minimised, 3 maximised, other values normal; there are
        // no windows to show here, so it is accepted and has no effect.
        int showMode = 0;
        // Files for the child's standard streams (not owned), used when the
        // matching redirect flag is set; a redirect without a file gives the
        // null device.
        ISystemFileObject* stdInput = nullptr;
        ISystemFileObject* stdOutput = nullptr;
        ISystemFileObject* stdError = nullptr;
        bool useShowMode = false;
        bool redirectInput = false;
        bool redirectOutput = false;
        bool redirectError = false;
        // Empty: the parent's.
        String workingDirectory;
        // Starting under another account is not supported: a start with a
        // user name is refused. The domain and password are not read.
        String userName;
        String userDomain;
        String userPassword;
        // Start the child in a session of its own, detached from our terminal.
        bool newConsole = false;
    };

    Process();
    Process(Process const&) = delete;
    Process& operator=(Process const&) = delete;
    virtual ~Process();

    bool start(StartInfo const& info);
    bool start(String const& commandLine);
    bool start(std::vector<String> const& arguments);
    bool isStarted() const;
    bool isRunning() const;
    // The exit code once the child ended (a child ended by a signal reports
    // the signal number, so a killed child gives 9), STILL_ACTIVE while it
    // runs, 0 when nothing was started.
    int exitCode() const;
    int pid() const;
    // Waits up to ms (looking every few milliseconds) for the child to end;
    // true once it has ended (or when nothing was started).
    bool wait(int ms) const;
    void kill();
    // Lets go of the child (it is neither waited for nor killed); the object
    // can start again afterwards.
    void close();

private:
    struct Info;

    void _poll() const;

    std::unique_ptr<Info> m_info;
};

}  // namespace core
}  // namespace gt
