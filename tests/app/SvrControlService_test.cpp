#include "app/SvrControlService.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/ClientConstants.h"
#include "support/ServiceSupport.h"
#include "support/Text.h"
#include "support/Wait.h"

namespace {

using gt::core::String;
using gt::test::ScopedEnv;
using gt::test::str;
using gt::test::waitFor;
using gt::util::WinServiceManager;
using tunnel::ClientConstants;
using tunnel::SvrControlService;

// Whether a process has ended: gone, or a zombie nobody has reaped yet.
bool processEnded(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    std::string::size_type const close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

// Where each descriptor of a process points.
std::vector<std::string> descriptorTargets(int pid) {
    std::vector<std::string> out;
    std::error_code ignored;
    std::string const dir = "/proc/" + std::to_string(pid) + "/fd";
    for (auto const& entry : std::filesystem::directory_iterator(dir, ignored)) {
        char target[PATH_MAX];
        ssize_t n = ::readlink(entry.path().c_str(), target, sizeof target - 1);
        if (n > 0) out.emplace_back(target, static_cast<size_t>(n));
    }
    return out;
}

bool gone(int pid) {
    return waitFor([pid] { return ::kill(pid, 0) != 0; }, 10000);
}

// QvrSvr of this build against a temporary service registry and data folder.
class SvrControlServiceTest : public gt::test::SvcTest {
protected:
    SvrControlServiceTest() : m_appdata("GT_COMMON_APPDATA", m_dir.path("appdata").c_str()) {}

    static String svr() { return str(GT_QVRSVR); }
    std::string dataFile(char const* name) const {
        return m_dir.path(std::string("appdata/Quorvane2/") + name);
    }

    // Registers "QvrSvr" with a command line of our choosing, not started.
    static void registerService(String const& commandLine) {
        WinServiceManager manager(ClientConstants::SVR_SERVICE_NAME());
        if (manager.isInstalled()) {
            ASSERT_TRUE(manager.remove());
        }
        ASSERT_TRUE(manager.create(u"Quorvane Service 2.0", commandLine, WinServiceManager::START_AUTO));
    }

    ScopedEnv m_appdata;
};

TEST_F(SvrControlServiceTest, OwnServiceByTheRegisteredProgramPath) {
    String const exe = svr();
    SvrControlService control(exe);
    EXPECT_FALSE(control.isOwnService());  // nothing installed
    EXPECT_FALSE(control.isServiceMode());
    struct Case {
        char const* name;
        String commandLine;
        bool own;
    } const cases[] = {
        {"alone", exe, true},
        {"with its switch", exe + u" --service", true},
        {"quoted", u"\"" + exe + u"\"", true},
        {"quoted with its switch", u"\"" + exe + u"\" --service", true},
        {"blanks around it", u"  " + exe + u" --service  ", true},
        {"as QvrSvr registers itself", WinServiceManager::quotedCommandLine(exe, u"--service"), true},
        {"another folder", u"/opt/other/QvrSvr --service", false},
        {"another letter case", exe.toUpper() + u" --service", false},
        {"a longer name", exe + u"2 --service", false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(registerService(c.commandLine));
        EXPECT_EQ(control.isOwnService(), c.own);
        EXPECT_EQ(control.isServiceMode(), c.own);
        EXPECT_EQ(control.isServiceEnabled(), c.own);
    }
}

TEST_F(SvrControlServiceTest, ServiceModeInstallsStopsAndUninstallsTheRealService) {
    WinServiceManager manager(ClientConstants::SVR_SERVICE_NAME());
    {
        SvrControlService control(svr());
        // Nothing to do yet.
        EXPECT_TRUE(control.stopService());
        EXPECT_TRUE(control.stopUninstall());

        ASSERT_TRUE(control.setServiceMode(true)) << gt::test::utf8(control.lastError());
        EXPECT_TRUE(control.lastError().isEmpty());
        EXPECT_TRUE(control.isServiceMode());
        EXPECT_TRUE(control.isServiceRunning());
        EXPECT_TRUE(control.isRunning());
        EXPECT_FALSE(control.isConsoleRunning());
        EXPECT_EQ(WinServiceManager::programPath(manager.binaryPath()), svr());

        // Running: start changes nothing.
        EXPECT_TRUE(control.start());
        EXPECT_TRUE(control.sendRefresh());

        ASSERT_TRUE(control.stopService());
        EXPECT_TRUE(manager.isInstalled());
        EXPECT_FALSE(manager.isRunning());
        EXPECT_FALSE(control.isRunning());
        EXPECT_TRUE(control.isServiceMode());
        // Installed but stopped: start brings it back.
        ASSERT_TRUE(control.start()) << gt::test::utf8(control.lastError());
        EXPECT_TRUE(control.isServiceRunning());
        // The controller ends; the service goes on.
    }
    EXPECT_TRUE(manager.isRunning());
    {
        SvrControlService control(svr());
        ASSERT_TRUE(control.stopUninstall());
        EXPECT_FALSE(manager.isInstalled());
        EXPECT_FALSE(control.isServiceMode());
        EXPECT_FALSE(control.isRunning());
    }
}

TEST_F(SvrControlServiceTest, LeavingServiceModeStartsTheConsoleChild) {
    SvrControlService control(svr());
    ASSERT_TRUE(control.setServiceMode(true)) << gt::test::utf8(control.lastError());
    ASSERT_TRUE(control.setServiceMode(false)) << gt::test::utf8(control.lastError());
    EXPECT_FALSE(WinServiceManager(ClientConstants::SVR_SERVICE_NAME()).isInstalled());
    EXPECT_FALSE(control.isServiceMode());
    EXPECT_TRUE(control.isConsoleRunning());
    EXPECT_TRUE(control.isRunning());
    // stop ends it through the signal file and the kill.
    int const pid = control.consolePid();
    EXPECT_TRUE(control.stop());
    EXPECT_FALSE(control.isRunning());
    EXPECT_TRUE(gone(pid));
}

// A service that does not end (here: held stopped, as a hung one would be)
// is a failed stop that says so; once it can end, stop succeeds.
TEST_F(SvrControlServiceTest, AServiceThatDoesNotEndIsAFailedStopWithItsMessage) {
    SvrControlService control(svr());
    control.setRunTimeout(10000);
    ASSERT_TRUE(control.setServiceMode(true)) << gt::test::utf8(control.lastError());
    gt::svc::ServiceStatus status;
    ASSERT_EQ(gt::svc::ServiceManager().queryStatus(ClientConstants::SVR_SERVICE_NAME(), &status),
              gt::svc::SERVICE_OK);
    ASSERT_GT(status.processId, 0);
    ASSERT_EQ(::kill(status.processId, SIGSTOP), 0);
    EXPECT_FALSE(control.stop());
    EXPECT_EQ(control.lastError(), String(SvrControlService::SERVICE_STOP_MESSAGE));
    EXPECT_TRUE(control.isServiceRunning());
    ASSERT_EQ(::kill(status.processId, SIGCONT), 0);
    EXPECT_TRUE(waitFor([&] { return !control.isServiceRunning(); }, 20000));
    // The state may say stopped a moment before the process has ended; an
    // uninstall in that moment is only marked, to be done at the end.
    EXPECT_TRUE(waitFor([&] { return processEnded(status.processId); }, 20000));
    EXPECT_TRUE(control.stop());
    EXPECT_TRUE(control.lastError().isEmpty());
    EXPECT_TRUE(control.stopUninstall());
}

TEST_F(SvrControlServiceTest, ConsoleChildStartsWithoutOurDescriptorsAndIsKilledAndReaped) {
    // The client's lock, deliberately without close-on-exec.
    std::filesystem::create_directories(m_dir.path("appdata/Quorvane2"));
    std::string const lockPath = dataFile("app.lock");
    int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);

    SvrControlService control(svr());
    ASSERT_TRUE(control.start()) << gt::test::utf8(control.lastError());
    EXPECT_FALSE(control.isServiceMode());
    EXPECT_TRUE(control.isConsoleRunning());
    EXPECT_TRUE(control.isRunning());
    int const pid = control.consolePid();
    ASSERT_GT(pid, 0);
    for (std::string const& target : descriptorTargets(pid))
        EXPECT_EQ(target.find("app.lock"), std::string::npos) << target;
    // The child holds its own instance lock.
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(dataFile("svr.lock")); }));

    // Everything runs: a second start runs nothing and keeps the child.
    EXPECT_TRUE(control.start());
    EXPECT_EQ(control.consolePid(), pid);

    // A second client's console child finds the instance lock taken and ends
    // within the first second.
    {
        SvrControlService second(svr());
        EXPECT_FALSE(second.startConsole());
        EXPECT_FALSE(second.isConsoleRunning());
        second.killConsole();
        // Its destructor's "--exit" reaches the first child's instance.
    }
    EXPECT_TRUE(waitFor([&] { return !control.isConsoleRunning(); }));
    EXPECT_TRUE(gone(pid));

    ASSERT_TRUE(control.startConsole());
    int const again = control.consolePid();
    control.killConsole();
    EXPECT_FALSE(control.isConsoleRunning());
    EXPECT_EQ(control.consolePid(), -1);
    EXPECT_TRUE(gone(again));  // killed and reaped: no zombie either
    ::close(lock);
}

TEST_F(SvrControlServiceTest, AConsoleChildThatEndsAtOnceIsAFailedStart) {
    // Another instance holds the lock.
    std::filesystem::create_directories(m_dir.path("appdata/Quorvane2"));
    int held = ::open(dataFile("svr.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    SvrControlService control(svr());
    EXPECT_FALSE(control.start());
    EXPECT_EQ(control.lastError(), String(SvrControlService::CONSOLE_START_MESSAGE));
    EXPECT_FALSE(control.isRunning());
    ::close(held);
}

TEST_F(SvrControlServiceTest, AnotherInstallationsServiceMeansConsoleMode) {
    // A copy of QvrSvr in another folder is registered as the service.
    std::string const other = m_dir.path("other/QvrSvr");
    std::filesystem::create_directories(m_dir.path("other"));
    std::filesystem::copy_file(GT_QVRSVR, other);
    ASSERT_NO_FATAL_FAILURE(registerService(WinServiceManager::quotedCommandLine(str(other), u"--service")));

    SvrControlService control(svr());
    EXPECT_FALSE(control.isOwnService());
    EXPECT_FALSE(control.isServiceMode());
    ASSERT_TRUE(control.start()) << gt::test::utf8(control.lastError());
    EXPECT_TRUE(control.isConsoleRunning());

    // Turning service mode on takes the registration over.
    ASSERT_TRUE(control.setServiceMode(true)) << gt::test::utf8(control.lastError());
    EXPECT_TRUE(control.isOwnService());
    EXPECT_TRUE(control.isServiceRunning());
    EXPECT_FALSE(control.isConsoleRunning());
    EXPECT_TRUE(control.stopUninstall());
}

TEST_F(SvrControlServiceTest, AMissingProgramRunsNothing) {
    SvrControlService control(str(m_dir.path("nowhere/QvrSvr")));
    EXPECT_FALSE(control.start());
    EXPECT_EQ(control.lastError(), String(SvrControlService::MISSING_PROGRAM_MESSAGE));
    EXPECT_FALSE(control.runSvrProgram(SvrControlService::VERB_OPEN, u"--exit"));
    EXPECT_FALSE(control.startConsole());
    EXPECT_FALSE(control.isRunning());
}

TEST_F(SvrControlServiceTest, ACommandThatHangsIsKilledAfterTheRunTimeOut) {
    // A stand-in that never ends, and one that logs how it was called.
    std::string const hang = m_dir.path("hang");
    m_dir.writeFile("hang", "#!/bin/sh\necho $$ > \"$0.pid\"\nexec sleep 60\n");
    ASSERT_EQ(::chmod(hang.c_str(), 0700), 0);
    SvrControlService control(str(hang));
    control.setRunTimeout(300);
    auto const started = std::chrono::steady_clock::now();
    EXPECT_FALSE(control.runSvrProgram(SvrControlService::VERB_RUNAS, u"--stop"));
    EXPECT_LT(gt::test::elapsedMs(started), 10000);
    int const pid = std::atoi(m_dir.readFile("hang.pid").c_str());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(gone(pid));
    // Only the two verbs start anything.
    EXPECT_FALSE(control.runSvrProgram(u"edit", u"--exit"));
}

}  // namespace
