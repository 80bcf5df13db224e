#include "gt/core/io/Process.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "gt/core/io/ISystemFileObject.h"
#include "gt/core/io/RandomAccessFile.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/CommandLine.h"
#include "gt/core/util/Timer.h"

extern char** environ;

namespace gt {
namespace core {

struct Process::Info {
    pid_t pid = 0;  // 0: not started
    bool reaped = false;
    int exitCode = 0;
};

namespace {

constexpr int MAX_COMMAND_LINE = 65534;
constexpr int WAIT_STEP_MS = 5;

int codeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return WTERMSIG(status);
    return 0;
}

// Builds the argument vector and the file actions of one start, and frees
// them whatever happens.
class SpawnPlan {
public:
    SpawnPlan() {
        m_actionsOk = ::posix_spawn_file_actions_init(&m_actions) == 0;
        m_attrOk = ::posix_spawnattr_init(&m_attr) == 0;
    }
    ~SpawnPlan() {
        if (m_actionsOk) ::posix_spawn_file_actions_destroy(&m_actions);
        if (m_attrOk) ::posix_spawnattr_destroy(&m_attr);
    }
    bool ok() const { return m_actionsOk && m_attrOk; }

    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attr;
    std::vector<std::string> m_args;
    std::unique_ptr<RandomAccessFile> m_null[3];

private:
    bool m_actionsOk = false;
    bool m_attrOk = false;
};

}  // namespace

Process::Process() : m_info(new Info) {}

Process::~Process() { close(); }

bool Process::isStarted() const { return m_info->pid != 0; }

void Process::_poll() const {
    if (m_info->pid == 0 || m_info->reaped) return;
    int status = 0;
    pid_t rc;
    do {
        rc = ::waitpid(m_info->pid, &status, WNOHANG);
    } while (rc < 0 && errno == EINTR);
    if (rc == m_info->pid) {
        m_info->reaped = true;
        m_info->exitCode = codeOf(status);
    } else if (rc < 0) {
        // Someone else reaped it (or SIGCHLD is ignored): it has ended, its code is lost.
        m_info->reaped = true;
        m_info->exitCode = 0;
    }
}

bool Process::isRunning() const {
    _poll();
    return m_info->pid != 0 && !m_info->reaped;
}

int Process::exitCode() const {
    if (m_info->pid == 0) return 0;
    _poll();
    return m_info->reaped ? m_info->exitCode : STILL_ACTIVE;
}

bool Process::wait(int ms) const {
    Timer deadline(ms);
    while (isRunning()) {
        if (deadline.isExpired()) return false;
        Thread::sleep(WAIT_STEP_MS);
    }
    return true;
}

int Process::pid() const { return m_info->pid != 0 ? static_cast<int>(m_info->pid) : -1; }

void Process::kill() {
    _poll();
    // Never signal a reaped pid: the number may already belong to another process.
    if (m_info->pid != 0 && !m_info->reaped) ::kill(m_info->pid, SIGKILL);
}

void Process::close() {
    if (m_info->pid == 0) return;
    _poll();
    if (!m_info->reaped) {
        // The child goes on without us; a waiter reaps it when it ends.
        pid_t pid = m_info->pid;
        std::thread([pid] {
            int status;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
    *m_info = Info();
}

bool Process::start(String const& commandLine) {
    if (isStarted()) return false;
    StartInfo info;
    info.commandLine = commandLine;
    return start(info);
}

bool Process::start(std::vector<String> const& arguments) {
    if (isStarted()) return false;
    StartInfo info;
    info.arguments = arguments;
    return start(info);
}

bool Process::start(StartInfo const& info) {
    if (isStarted()) return false;
    SpawnPlan plan;
    if (!plan.ok()) return false;

    std::vector<String> args = info.arguments;
    if (args.empty()) {
        if (info.commandLine.length() > MAX_COMMAND_LINE) return false;
        detail::splitArguments(info.commandLine, args);
    }
    if (args.empty() || args[0].isEmpty()) return false;
    for (auto const& arg : args) {
        Binary bytes = arg.toBinary();
        plan.m_args.emplace_back(bytes.data(), static_cast<size_t>(bytes.length()));
    }
    for (char& c : plan.m_args[0]) {
        if (c == '\\') c = '/';
    }

    bool const redirect[3] = {info.redirectInput, info.redirectOutput, info.redirectError};
    ISystemFileObject* const files[3] = {info.stdInput, info.stdOutput, info.stdError};
    for (int stream = 0; stream < 3; ++stream) {
        if (!redirect[stream]) continue;  // the child shares ours
        int fd;
        if (files[stream]) {
            fd = files[stream]->handle();
            if (fd < 0) return false;
        } else {
            plan.m_null[stream].reset(new RandomAccessFile(
                String(u"/dev/null"), RandomAccessFile::OPEN_EXISTING,
                stream == 0 ? RandomAccessFile::ACCESS_READ : RandomAccessFile::ACCESS_WRITE,
                RandomAccessFile::SHARE_READ_WRITE));
            if (!plan.m_null[stream]->isOpen()) return false;
            fd = plan.m_null[stream]->handle();
        }
        if (::posix_spawn_file_actions_adddup2(&plan.m_actions, fd, stream) != 0) return false;
    }
    if (!info.userName.isEmpty()) return false;

    if (!info.workingDirectory.isEmpty()) {
        String dir(info.workingDirectory);
        dir.replace(u'\\', u'/');
        Binary bytes = dir.toBinary();
        std::string native(bytes.data(), static_cast<size_t>(bytes.length()));
        if (::posix_spawn_file_actions_addchdir_np(&plan.m_actions, native.c_str()) != 0) return false;
    }
    // Nothing of ours beyond the three standard streams reaches the child,
    // even a descriptor someone opened without close-on-exec.
    if (::posix_spawn_file_actions_addclosefrom_np(&plan.m_actions, 3) != 0) return false;

    // Default signal handling and no blocked signals in the child (we ignore
    // SIGPIPE, and ignored signals would otherwise stay ignored across exec).
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (info.newConsole) flags |= POSIX_SPAWN_SETSID;
    if (::posix_spawnattr_setsigdefault(&plan.m_attr, &all) != 0 ||
        ::posix_spawnattr_setsigmask(&plan.m_attr, &none) != 0 ||
        ::posix_spawnattr_setflags(&plan.m_attr, flags) != 0) {
        return false;
    }

    std::vector<char*> argv;
    argv.reserve(plan.m_args.size() + 1);
    for (auto& arg : plan.m_args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);

    pid_t pid = 0;
    // A bare program name is looked up on PATH; a path is used as it is.
    int rc = ::posix_spawnp(&pid, argv[0], &plan.m_actions, &plan.m_attr, argv.data(), environ);
    if (rc != 0 || pid <= 0) return false;
    m_info->pid = pid;
    m_info->reaped = false;
    m_info->exitCode = 0;
    return true;
}

}  // namespace core
}  // namespace gt
