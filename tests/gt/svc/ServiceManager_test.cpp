#include "gt/svc/ServiceManager.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "gt/svc/ServiceDispatcher.h"
#include "support/ServiceSupport.h"

using namespace gt;
using namespace gt::svc;
using gt::test::ScopedEnv;
using gt::test::waitFor;

namespace {

class ServiceManagerTest : public gt::test::SvcTest {
protected:
    int create(char const* name, core::String const& command, int startType = START_DEMAND) {
        ServiceConfig config;
        config.name = core::String::fromUtf8(name);
        config.displayName = u"显示名";
        config.commandLine = command;
        config.startType = startType;
        return m_manager.create(config);
    }
    int state(char const* name) {
        ServiceStatus status;
        int r = m_manager.queryStatus(core::String::fromUtf8(name), &status);
        return r == SERVICE_OK ? status.state : -r;
    }
    bool waitForState(char const* name, int wanted, int ms = 10000) {
        return waitFor([&] { return state(name) == wanted; }, ms);
    }

    ServiceManager m_manager;
};

TEST_F(ServiceManagerTest, CreateRefusesBadInputAndExistingNames) {
    struct Case {
        char const* name;
        char const* command;
        int startType;
        int expected;
    } const cases[] = {
        {"", "/bin/true", START_DEMAND, SERVICE_ERROR_INVALID_PARAMETER},
        {".hidden", "/bin/true", START_DEMAND, SERVICE_ERROR_INVALID_PARAMETER},
        {"a/b", "/bin/true", START_DEMAND, SERVICE_ERROR_INVALID_PARAMETER},
        {"a\\b", "/bin/true", START_DEMAND, SERVICE_ERROR_INVALID_PARAMETER},
        {"line\nend", "/bin/true", START_DEMAND, SERVICE_ERROR_INVALID_PARAMETER},
        {"Svc", "", START_DEMAND, SERVICE_ERROR_INVALID_PARAMETER},
        // A line end in the command line would forge a field of the record.
        {"Svc", "/bin/true\nstart=2", START_DEMAND, SERVICE_ERROR_INVALID_PARAMETER},
        {"Svc", "/bin/true", -1, SERVICE_ERROR_INVALID_PARAMETER},
        {"Svc", "/bin/true", 5, SERVICE_ERROR_INVALID_PARAMETER},
        {"Svc", "/bin/true", START_AUTO, SERVICE_OK},
        {"Svc", "/bin/true", START_AUTO, SERVICE_ERROR_EXISTS},
        // Names compare without regard to ASCII case.
        {"SVC", "/bin/other", START_DEMAND, SERVICE_ERROR_EXISTS},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(create(c.name, core::String::fromUtf8(c.command), c.startType), c.expected);
    }
    ServiceConfig config;
    ASSERT_EQ(m_manager.queryConfig(u"svc", &config), SERVICE_OK);
    EXPECT_TRUE(config.name == u"Svc");
    EXPECT_TRUE(config.commandLine == u"/bin/true");
    EXPECT_EQ(config.startType, START_AUTO);
    // The record is replaced by a rename: no temporary file stays behind.
    for (auto const& e : std::filesystem::directory_iterator(m_dir.path("registry"))) {
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    }
}

TEST_F(ServiceManagerTest, OperationsOnAMissingServiceSayItDoesNotExist) {
    ServiceStatus status;
    ServiceConfig config;
    EXPECT_EQ(m_manager.queryStatus(u"Missing", &status), SERVICE_ERROR_DOES_NOT_EXIST);
    EXPECT_EQ(m_manager.queryConfig(u"Missing", &config), SERVICE_ERROR_DOES_NOT_EXIST);
    EXPECT_EQ(m_manager.start(u"Missing"), SERVICE_ERROR_DOES_NOT_EXIST);
    EXPECT_EQ(m_manager.control(u"Missing", CONTROL_STOP, &status), SERVICE_ERROR_DOES_NOT_EXIST);
    EXPECT_EQ(m_manager.remove(u"Missing"), SERVICE_ERROR_DOES_NOT_EXIST);
    std::vector<ServiceConfig> configs;
    EXPECT_EQ(m_manager.list(&configs), SERVICE_OK);
    EXPECT_TRUE(configs.empty());
}

TEST_F(ServiceManagerTest, NonAdministratorMayOnlyQuery) {
    ASSERT_EQ(create("Svc", commandLine("normal")), SERVICE_OK);
    ScopedEnv plainUser("GT_SERVICE_ADMIN", "0");
    EXPECT_FALSE(m_manager.isAdmin());
    ServiceStatus status;
    EXPECT_EQ(create("Other", commandLine("normal")), SERVICE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(m_manager.start(u"Svc"), SERVICE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(m_manager.control(u"Svc", CONTROL_STOP, &status), SERVICE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(m_manager.remove(u"Svc"), SERVICE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(m_manager.boot(), -1);
    EXPECT_EQ(m_manager.queryStatus(u"Svc", &status), SERVICE_OK);
    EXPECT_EQ(status.state, SERVICE_STOPPED);
    std::vector<ServiceConfig> configs;
    EXPECT_EQ(m_manager.list(&configs), SERVICE_OK);
    EXPECT_EQ(configs.size(), 1u);
}

TEST_F(ServiceManagerTest, StartStopSequence) {
    ASSERT_TRUE(m_manager.isAdmin());
    ASSERT_EQ(create("Svc", commandLine("normal")), SERVICE_OK);
    ServiceStatus status;
    EXPECT_EQ(m_manager.control(u"Svc", CONTROL_STOP, &status), SERVICE_ERROR_NOT_ACTIVE);
    EXPECT_EQ(m_manager.control(u"Svc", 2, &status), SERVICE_ERROR_INVALID_PARAMETER);

    ASSERT_EQ(m_manager.start(u"Svc"), SERVICE_OK);
    ASSERT_TRUE(waitForState("Svc", SERVICE_RUNNING));
    ASSERT_EQ(m_manager.queryStatus(u"Svc", &status), SERVICE_OK);
    EXPECT_GT(status.processId, 0);
    EXPECT_EQ(status.controlsAccepted, ACCEPT_STOP);
    EXPECT_EQ(m_manager.start(u"SVC"), SERVICE_ERROR_ALREADY_RUNNING);

    EXPECT_EQ(m_manager.control(u"Svc", CONTROL_STOP, &status), SERVICE_OK);
    EXPECT_EQ(status.state, SERVICE_RUNNING);
    ASSERT_TRUE(waitForState("Svc", SERVICE_STOPPED));
    ASSERT_EQ(m_manager.queryStatus(u"Svc", &status), SERVICE_OK);
    EXPECT_EQ(status.processId, 0);
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.checkPoint, 3);
    EXPECT_EQ(m_manager.control(u"Svc", CONTROL_STOP, &status), SERVICE_ERROR_NOT_ACTIVE);

    // It starts again, and its output went to its log.
    ASSERT_EQ(m_manager.start(u"Svc"), SERVICE_OK);
    ASSERT_TRUE(waitForState("Svc", SERVICE_RUNNING));
    EXPECT_NE(m_dir.readFile("registry/svc.log").find("svc_test_service normal started"), std::string::npos);
}

TEST_F(ServiceManagerTest, ConcurrentStartsLaunchOneProcess) {
    ASSERT_EQ(create("Svc", commandLine("normal")), SERVICE_OK);
    std::vector<int> results(4, -1);
    std::vector<std::thread> threads;
    for (auto& result : results) {
        threads.emplace_back([&result] { result = ServiceManager().start(u"Svc"); });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(std::count(results.begin(), results.end(), SERVICE_OK), 1);
    EXPECT_EQ(std::count(results.begin(), results.end(), SERVICE_ERROR_ALREADY_RUNNING), 3);
    EXPECT_TRUE(waitForState("Svc", SERVICE_RUNNING));
}

TEST_F(ServiceManagerTest, StartFailures) {
    ScopedEnv shortConnect("GT_SERVICE_CONNECT_TIMEOUT_MS", "500");
    struct Case {
        char const* name;
        core::String command;
        int startType;
        int expected;
    } const cases[] = {
        {"Disabled", commandLine("normal"), START_DISABLED, SERVICE_ERROR_DISABLED},
        {"NoProgram", core::String::fromUtf8((m_dir.path("missing") + " --service").c_str()), START_DEMAND,
         SERVICE_ERROR_FILE_NOT_FOUND},
        {"ExitsAtOnce", commandLine("exit-at-once"), START_DEMAND, SERVICE_ERROR_PROCESS_ABORTED},
        // A program that never reaches the dispatcher is ended after the
        // connect time-out.
        {"NoDispatcher", u"/bin/sleep 30", START_DEMAND, SERVICE_ERROR_REQUEST_TIMEOUT},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(create(c.name, c.command, c.startType), SERVICE_OK);
        EXPECT_EQ(m_manager.start(core::String::fromUtf8(c.name)), c.expected);
        ServiceStatus status;
        ASSERT_EQ(m_manager.queryStatus(core::String::fromUtf8(c.name), &status), SERVICE_OK);
        EXPECT_EQ(status.state, SERVICE_STOPPED);
        EXPECT_EQ(status.processId, 0);
    }
}

TEST_F(ServiceManagerTest, ServiceModesAndControls) {
    // Start pending: a stop cannot be taken yet.
    ASSERT_EQ(create("Pending", commandLine("never-running")), SERVICE_OK);
    ASSERT_EQ(m_manager.start(u"Pending"), SERVICE_OK);
    ASSERT_TRUE(waitForState("Pending", SERVICE_START_PENDING));
    ServiceStatus status;
    EXPECT_EQ(m_manager.control(u"Pending", CONTROL_STOP, &status), SERVICE_ERROR_CANNOT_ACCEPT_CTRL);
    EXPECT_EQ(status.state, SERVICE_START_PENDING);

    // The stop is sent, but the service keeps running.
    ASSERT_EQ(create("Stubborn", commandLine("ignore-stop")), SERVICE_OK);
    ASSERT_EQ(m_manager.start(u"Stubborn"), SERVICE_OK);
    ASSERT_TRUE(waitForState("Stubborn", SERVICE_RUNNING));
    EXPECT_EQ(m_manager.control(u"Stubborn", CONTROL_STOP, &status), SERVICE_OK);
    EXPECT_FALSE(waitForState("Stubborn", SERVICE_STOPPED, 300));
    EXPECT_EQ(state("Stubborn"), SERVICE_RUNNING);

    // A process that dies without reporting reads as stopped.
    ASSERT_EQ(create("Crash", commandLine("crash")), SERVICE_OK);
    ASSERT_EQ(m_manager.start(u"Crash"), SERVICE_OK);
    ASSERT_TRUE(waitForState("Crash", SERVICE_RUNNING));
    EXPECT_EQ(m_manager.control(u"Crash", CONTROL_STOP, &status), SERVICE_OK);
    ASSERT_TRUE(waitForState("Crash", SERVICE_STOPPED));
    ASSERT_EQ(m_manager.queryStatus(u"Crash", &status), SERVICE_OK);
    EXPECT_EQ(status.exitCode, SERVICE_ERROR_PROCESS_ABORTED);
    EXPECT_EQ(m_manager.start(u"Crash"), SERVICE_OK);
}

TEST_F(ServiceManagerTest, KilledServiceReadsAsStoppedAndMayStartAgain) {
    ASSERT_EQ(create("Svc", commandLine("normal")), SERVICE_OK);
    ASSERT_EQ(m_manager.start(u"Svc"), SERVICE_OK);
    ASSERT_TRUE(waitForState("Svc", SERVICE_RUNNING));
    ServiceStatus status;
    ASSERT_EQ(m_manager.queryStatus(u"Svc", &status), SERVICE_OK);
    ASSERT_EQ(::kill(status.processId, SIGKILL), 0);
    ASSERT_TRUE(waitForState("Svc", SERVICE_STOPPED));
    EXPECT_EQ(m_manager.control(u"Svc", CONTROL_STOP, &status), SERVICE_ERROR_NOT_ACTIVE);
    EXPECT_EQ(m_manager.start(u"Svc"), SERVICE_OK);
    EXPECT_TRUE(waitForState("Svc", SERVICE_RUNNING));
}

// A process the test starts that is nobody's service.
class Stranger {
public:
    Stranger() {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Stranger() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    Stranger(Stranger const&) = delete;
    Stranger& operator=(Stranger const&) = delete;

    int pid() const { return m_pid; }
    // Still running: no signal reached it.
    bool alive() const { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; }

private:
    pid_t m_pid = -1;
};

TEST_F(ServiceManagerTest, StateNamingAnotherProcessIsStaleAndThatProcessIsNeverSignalled) {
    ASSERT_EQ(create("Svc", commandLine("normal")), SERVICE_OK);
    Stranger stranger;
    ASSERT_GT(stranger.pid(), 0);
    // A running, connected service that takes STOP, but its start time is
    // missing or not the process's: the pid alone says nothing.
    struct Case {
        char const* name;
        char const* startTime;  // the line, or empty for none
    } const cases[] = {
        {"no start time", ""},
        {"start time 0", "starttime=0\n"},
        {"another start time", "starttime=1\n"},
        {"not a number", "starttime=soon\n"},
    };
    std::string tool = GT_SVC_TOOL;
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        m_dir.writeFile("registry/svc.state", "state=4\naccepted=1\nexit=0\ncheckpoint=0\nwaithint=0\npid=" +
                                                  std::to_string(stranger.pid()) + "\n" + c.startTime +
                                                  "token=0123456789abcdef01234567\nconnected=1\n");
        ServiceStatus status;
        EXPECT_EQ(m_manager.control(u"Svc", CONTROL_STOP, &status), SERVICE_ERROR_NOT_ACTIVE);
        EXPECT_EQ(status.state, SERVICE_STOPPED);
        EXPECT_EQ(status.processId, 0);
        EXPECT_TRUE(stranger.alive());
        EXPECT_EQ(state("Svc"), SERVICE_STOPPED);
    }
    // The tool, the same.
    m_dir.writeFile("registry/svc.state", "state=4\naccepted=1\npid=" + std::to_string(stranger.pid()) +
                                              "\ntoken=x\nconnected=1\n");
    EXPECT_EQ(runProgram({tool, "stop", "Svc"}), 1);
    EXPECT_TRUE(stranger.alive());
    // The stale state keeps nobody from starting the service.
    EXPECT_EQ(m_manager.start(u"Svc"), SERVICE_OK);
    EXPECT_TRUE(waitForState("Svc", SERVICE_RUNNING));
    EXPECT_TRUE(stranger.alive());
}

TEST_F(ServiceManagerTest, DeleteWhileRunningMarksTheServiceUntilItStops) {
    ASSERT_EQ(create("Svc", commandLine("normal")), SERVICE_OK);
    ASSERT_EQ(m_manager.start(u"Svc"), SERVICE_OK);
    ASSERT_TRUE(waitForState("Svc", SERVICE_RUNNING));
    EXPECT_EQ(m_manager.remove(u"Svc"), SERVICE_OK);

    ServiceConfig config;
    ASSERT_EQ(m_manager.queryConfig(u"Svc", &config), SERVICE_OK);
    EXPECT_TRUE(config.markedForDelete);
    EXPECT_EQ(state("Svc"), SERVICE_RUNNING);
    EXPECT_EQ(m_manager.remove(u"Svc"), SERVICE_ERROR_MARKED_FOR_DELETE);
    EXPECT_EQ(create("Svc", commandLine("normal")), SERVICE_ERROR_MARKED_FOR_DELETE);

    ServiceStatus status;
    EXPECT_EQ(m_manager.control(u"Svc", CONTROL_STOP, &status), SERVICE_OK);
    ASSERT_TRUE(waitForState("Svc", -SERVICE_ERROR_DOES_NOT_EXIST));
    EXPECT_FALSE(m_dir.exists("registry/svc.service"));
    EXPECT_FALSE(m_dir.exists("registry/svc.state"));
    EXPECT_EQ(create("Svc", commandLine("normal")), SERVICE_OK);

    // A marked service whose process dies goes as well.
    ASSERT_EQ(m_manager.start(u"Svc"), SERVICE_OK);
    ASSERT_TRUE(waitForState("Svc", SERVICE_RUNNING));
    ASSERT_EQ(m_manager.queryStatus(u"Svc", &status), SERVICE_OK);
    EXPECT_EQ(m_manager.remove(u"Svc"), SERVICE_OK);
    ASSERT_EQ(::kill(status.processId, SIGKILL), 0);
    EXPECT_TRUE(waitForState("Svc", -SERVICE_ERROR_DOES_NOT_EXIST));
}

TEST_F(ServiceManagerTest, QuotedProgramPathWithBlanksStarts) {
    std::string folder = m_dir.path("dir with blank");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    std::string program = folder + "/svc test";
    std::filesystem::copy_file(service(), program);
    ::chmod(program.c_str(), 0700);
    core::String command = core::String::fromUtf8(("\"" + program + "\" normal").c_str());
    ASSERT_EQ(create("Svc", command), SERVICE_OK);
    ServiceConfig config;
    ASSERT_EQ(m_manager.queryConfig(u"Svc", &config), SERVICE_OK);
    EXPECT_TRUE(config.commandLine == command);
    ASSERT_EQ(m_manager.start(u"Svc"), SERVICE_OK);
    EXPECT_TRUE(waitForState("Svc", SERVICE_RUNNING));
    // The quotes group the path into one argument: the program saw one
    // argument besides its own name.
    EXPECT_NE(m_dir.readFile("registry/svc.log").find("normal started, 2 arguments"), std::string::npos);
}

TEST_F(ServiceManagerTest, HandRunServiceProgramFailsAtOnce) {
    // Without the manager's environment, and with a token the manager never gave.
    EXPECT_EQ(runProgram({service(), "normal"}), 9);
    ASSERT_EQ(create("Svc", commandLine("normal")), SERVICE_OK);
    ScopedEnv name("GT_SERVICE_NAME", "Svc");
    ScopedEnv token("GT_SERVICE_TOKEN", "forged");
    EXPECT_EQ(runProgram({service(), "normal"}), 9);
    EXPECT_EQ(state("Svc"), SERVICE_STOPPED);
}

TEST_F(ServiceManagerTest, DispatcherCallsOutsideARunFail) {
    ServiceStatus status;
    status.state = SERVICE_RUNNING;
    EXPECT_FALSE(ServiceDispatcher::setStatus(0, status));
    EXPECT_FALSE(ServiceDispatcher::setStatus(12345, status));
    EXPECT_EQ(ServiceDispatcher::lastError(), SERVICE_ERROR_INVALID_HANDLE);
    EXPECT_EQ(ServiceDispatcher::registerControlHandler(u"Svc", nullptr), 0);
    EXPECT_FALSE(ServiceDispatcher::run({}));
}

TEST_F(ServiceManagerTest, DamagedFilesAreReportedNotTrusted) {
    ASSERT_EQ(create("Good", u"/bin/true"), SERVICE_OK);
    m_dir.writeFile("registry/bad.service", "garbage without fields\n");
    // A state file far larger than any real one is refused, not read whole.
    ASSERT_EQ(create("Big", u"/bin/true"), SERVICE_OK);
    m_dir.writeFile("registry/big.state", std::string(1 << 20, 'x'));
    ServiceConfig config;
    ServiceStatus status;
    EXPECT_EQ(m_manager.queryConfig(u"bad", &config), SERVICE_ERROR_IO);
    EXPECT_EQ(m_manager.queryStatus(u"big", &status), SERVICE_ERROR_IO);
    std::vector<ServiceConfig> configs;
    ASSERT_EQ(m_manager.list(&configs), SERVICE_OK);
    ASSERT_EQ(configs.size(), 1u);
    EXPECT_TRUE(configs[0].name == u"Good");
}

TEST_F(ServiceManagerTest, FilesThatAreNoRegularFilesAreRefusedWithoutWaiting) {
    // A FIFO would block a plain open for ever (with the registry locked, so
    // every other caller too); a link would be followed to a file of the
    // link's choice. Each operation runs in the tool under a deadline.
    std::string tool = GT_SVC_TOOL;
    std::string out = m_dir.path("out.txt");
    m_dir.writeFile("elsewhere.service",
                    "name=Elsewhere\ndisplay=E\ncommand=/bin/true\nstart=3\ndeleted=0\n");
    m_dir.writeFile("elsewhere.state", "state=1\npid=0\n");
    m_dir.writeFile("elsewhere.log", "");
    auto run = [&](std::vector<std::string> args, int exitCode, std::string const& expected) {
        SCOPED_TRACE(args[1]);
        EXPECT_EQ(runProgram(args, out, 10000), exitCode);
        std::string text = m_dir.readFile("out.txt");
        EXPECT_NE(text.find(expected), std::string::npos) << text;
    };
    struct Case {
        char const* name;
        char const* key;
        char const* suffix;
        bool fifo;  // else a symbolic link to a good file
    } const cases[] = {
        {"RecordFifo", "recordfifo", ".service", true},
        {"RecordLink", "recordlink", ".service", false},
        {"StateFifo", "statefifo", ".state", true},
        {"StateLink", "statelink", ".state", false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(create(c.name, commandLine("normal")), SERVICE_OK);
        std::string key = c.key;
        std::string file = registryFile(key + c.suffix);
        ::unlink(file.c_str());
        if (c.fifo) {
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        } else {
            ASSERT_EQ(::symlink(m_dir.path(std::string("elsewhere") + c.suffix).c_str(), file.c_str()), 0);
        }
        std::string refusal = key + c.suffix + " is not a regular file";
        run({tool, "query", c.name}, 1, refusal);
        run({tool, "list"}, 0, refusal);
        run({tool, "start", c.name}, 1, refusal);
        run({tool, "stop", c.name}, 1, refusal);
        run({tool, "delete", c.name}, 1, refusal);
        run({tool, "create", c.name, "/bin/true"}, 1, refusal);
    }

    // The log: the start is refused, the service stays as it was.
    for (bool fifo : {true, false}) {
        char const* name = fifo ? "LogFifo" : "LogLink";
        SCOPED_TRACE(name);
        ASSERT_EQ(create(name, commandLine("normal")), SERVICE_OK);
        std::string key = fifo ? "logfifo" : "loglink";
        std::string file = registryFile(key + ".log");
        if (fifo) {
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        } else {
            ASSERT_EQ(::symlink(m_dir.path("elsewhere.log").c_str(), file.c_str()), 0);
        }
        run({tool, "start", name}, 1, key + ".log is not a regular file");
        EXPECT_EQ(state(name), SERVICE_STOPPED);
    }

    // The registry's lock file.
    ASSERT_EQ(::unlink(registryFile(".lock").c_str()), 0);
    ASSERT_EQ(::symlink(m_dir.path("elsewhere.lock").c_str(), registryFile(".lock").c_str()), 0);
    run({tool, "list"}, 1, ".lock is not a regular file");
    EXPECT_FALSE(m_dir.exists("elsewhere.lock"));

    // What the links pointed to is as it was.
    EXPECT_EQ(m_dir.readFile("elsewhere.service"),
              "name=Elsewhere\ndisplay=E\ncommand=/bin/true\nstart=3\ndeleted=0\n");
    EXPECT_EQ(m_dir.readFile("elsewhere.state"), "state=1\npid=0\n");
    EXPECT_EQ(m_dir.readFile("elsewhere.log"), "");
}

TEST_F(ServiceManagerTest, BootStartsAutomaticServicesOnly) {
    struct Case {
        char const* name;
        int startType;
        int expected;
    } const cases[] = {
        {"Auto", START_AUTO, SERVICE_RUNNING},         {"Boot", START_BOOT, SERVICE_RUNNING},
        {"System", START_SYSTEM, SERVICE_RUNNING},     {"Demand", START_DEMAND, SERVICE_STOPPED},
        {"Disabled", START_DISABLED, SERVICE_STOPPED},
    };
    for (auto const& c : cases)
        ASSERT_EQ(create(c.name, commandLine("normal"), c.startType), SERVICE_OK);
    ASSERT_EQ(m_manager.start(u"Auto"), SERVICE_OK);
    EXPECT_EQ(m_manager.boot(), 0);
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(waitForState(c.name, c.expected));
    }
    // An automatic service that cannot start is counted.
    ASSERT_EQ(create("Broken", commandLine("exit-at-once"), START_AUTO), SERVICE_OK);
    EXPECT_EQ(m_manager.boot(), 1);
}

TEST_F(ServiceManagerTest, AutostartEntryRunsBootAtLogin) {
    ScopedEnv config("XDG_CONFIG_HOME", m_dir.path("config").c_str());
    ASSERT_TRUE(ServiceManager::writeAutostartEntry(u"/opt/my \"tools\"/gtsvc", u"gtsvc.desktop"));
    std::string entry = m_dir.readFile("config/autostart/gtsvc.desktop");
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=\"/opt/my \\\\\"tools\\\\\"/gtsvc\" boot\n"), std::string::npos) << entry;

    // With a registry folder the entry carries it, quoted the same way.
    ASSERT_TRUE(ServiceManager::writeAutostartEntry(u"/opt/gtsvc", u"other.desktop", u"/my $state"));
    entry = m_dir.readFile("config/autostart/other.desktop");
    EXPECT_NE(entry.find("\nExec=env \"GT_SERVICE_REGISTRY=/my \\\\$state\" \"/opt/gtsvc\" boot\n"),
              std::string::npos)
        << entry;
    EXPECT_TRUE(ServiceManager::autostartFolder() == m_dir.str("config/autostart"));

    // And it can be taken away again.
    EXPECT_EQ(ServiceManager::removeAutostartEntry(u"other.desktop"), 1);
    EXPECT_FALSE(m_dir.exists("config/autostart/other.desktop"));
    EXPECT_EQ(ServiceManager::removeAutostartEntry(u"other.desktop"), 0);
    EXPECT_TRUE(m_dir.exists("config/autostart/gtsvc.desktop"));
}

TEST_F(ServiceManagerTest, DefaultFolderFollowsTheEnvironment) {
    {
        ScopedEnv none("GT_SERVICE_REGISTRY", nullptr);
        ScopedEnv state("XDG_STATE_HOME", "/state");
        EXPECT_TRUE(ServiceManager::defaultFolder() == u"/state/gtsvc");
        ScopedEnv relative("XDG_STATE_HOME", "relative");
        ScopedEnv home("HOME", "/home/u");
        EXPECT_TRUE(ServiceManager::defaultFolder() == u"/home/u/.local/state/gtsvc");
    }
    EXPECT_TRUE(ServiceManager::defaultFolder() == m_dir.str("registry"));
}

TEST_F(ServiceManagerTest, ToolDrivesTheManager) {
    std::string tool = GT_SVC_TOOL;
    std::string out = m_dir.path("out.txt");
    std::string command = service() + " normal";
    ScopedEnv config("XDG_CONFIG_HOME", m_dir.path("config").c_str());
    std::string entry = m_dir.path("config/autostart/gtsvc.desktop");
    struct Step {
        std::vector<std::string> args;
        int exitCode;
        std::string output;  // expected within the output
    } const steps[] = {
        {{tool}, 2, "usage: gtsvc"},
        {{tool, "create", "Svc", command, "--display", "Test service", "--start", "auto"}, 0, ""},
        {{tool, "create", "Svc", command}, 1, "already exists (1073)"},
        {{tool, "create", "Other", command, "--start", "sometimes"}, 2, "usage"},
        {{tool, "query", "Missing"}, 1, "does not exist (1060)"},
        {{tool, "start", "Svc"}, 0, ""},
        {{tool, "query", "svc"}, 0, "state: RUNNING"},
        {{tool, "list"}, 0, "Svc\tRUNNING\tauto\tTest service\n"},
        {{tool, "stop", "Svc"}, 0, ""},
        {{tool, "query", "Svc"}, 0, "command: " + command + "\nstart: auto\nstate: STOPPED"},
        {{tool, "stop", "Svc"}, 1, "not running (1062)"},
        {{tool, "boot"}, 0, ""},
        {{tool, "delete", "Svc"}, 0, ""},
        {{tool, "stop", "Svc"}, 0, ""},
        {{tool, "query", "Svc"}, 1, "does not exist"},
        // A wrong command line says what is wrong.
        {{tool, "frob"}, 2, "gtsvc: unknown command \"frob\"\nusage: gtsvc"},
        {{tool, "create", "Other", command, "--start"}, 2, "create: --start needs a value"},
        {{tool, "create", "Other", command, "--colour", "red"}, 2, "create: unknown option \"--colour\""},
        {{tool, "query"}, 2, "query: one service name needed"},
        {{tool, "--help"}, 0, "autostart --remove"},
        // The autostart entry: where it went, with the registry folder, and the undo.
        {{tool, "autostart"},
         0,
         "wrote " + entry + ": runs \"" + tool +
             " boot\" at each login with GT_SERVICE_REGISTRY=" + m_dir.path("registry") + "\n"},
        {{tool, "autostart"}, 0, "undo with \"gtsvc autostart --remove\""},
        {{tool, "autostart", "--remove"}, 0, "removed " + entry},
        {{tool, "autostart", "--remove"}, 0, "no entry at " + entry},
        {{tool, "autostart", "--all"}, 2, "autostart: only --remove is taken"},
    };
    for (auto const& step : steps) {
        SCOPED_TRACE(step.args.size() > 1 ? step.args[1] + " " + (step.args.size() > 2 ? step.args[2] : "")
                                          : "");
        EXPECT_EQ(runProgram(step.args, out), step.exitCode);
        std::ifstream in(out);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find(step.output), std::string::npos) << text;
    }
}

}  // namespace
