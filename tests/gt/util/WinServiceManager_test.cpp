#include "gt/util/WinServiceManager.h"

#include <functional>
#include <future>

#include "gt/core/io/NativePath.h"

#include "support/ServiceSupport.h"

using namespace gt;
using gt::test::ScopedEnv;
using gt::test::waitFor;
using gt::util::WinServiceManager;

namespace {

class WinServiceManagerTest : public gt::test::SvcTest {
protected:
    WinServiceManagerTest() { WinServiceManager::setWait(500, 20); }
    ~WinServiceManagerTest() override { WinServiceManager::setWait(300, 100); }

    // Runs an operation that must end on its own: the waits are set so long
    // that only an early return finishes within the deadline.
    static bool endsEarly(std::function<bool()> operation, bool* result) {
        WinServiceManager::setWait(1000000, 100);
        auto future = std::async(std::launch::async, operation);
        bool ended = future.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        // A wait that is still going is cut short, so the future can be collected.
        if (!ended) WinServiceManager::setWait(1, 0);
        *result = future.get();
        WinServiceManager::setWait(500, 20);
        return ended;
    }

    WinServiceManager m_service{u"QvrTest"};
};

TEST_F(WinServiceManagerTest, CreateMapsStartTypesAndRefusesOthers) {
    struct Case {
        int startType;
        int stored;  // -1: refused
    } const cases[] = {
        {WinServiceManager::START_DISABLED, svc::START_DISABLED},
        {WinServiceManager::START_BOOT, svc::START_BOOT},
        {WinServiceManager::START_SYSTEM, svc::START_SYSTEM},
        {WinServiceManager::START_AUTO, svc::START_AUTO},
        {WinServiceManager::START_DEMAND, svc::START_DEMAND},
        {5, -1},
        {-1, -1},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.startType);
        WinServiceManager service(u"Type" + core::String(1, static_cast<core::Char>(u'A' + c.startType + 1)));
        EXPECT_EQ(service.create(u"Display", commandLine("normal"), c.startType), c.stored >= 0);
        svc::ServiceConfig config;
        int r = svc::ServiceManager().queryConfig(
            u"Type" + core::String(1, static_cast<core::Char>(u'A' + c.startType + 1)), &config);
        if (c.stored < 0) {
            EXPECT_EQ(r, svc::SERVICE_ERROR_DOES_NOT_EXIST);
        } else {
            ASSERT_EQ(r, svc::SERVICE_OK);
            EXPECT_EQ(config.startType, c.stored);
            EXPECT_TRUE(config.displayName == u"Display");
        }
    }
}

TEST_F(WinServiceManagerTest, RefusedStartTypeDoesNotTouchTheManager) {
    ScopedEnv fresh("GT_SERVICE_REGISTRY", m_dir.path("untouched").c_str());
    EXPECT_FALSE(m_service.create(u"Display", commandLine("normal"), 5));
    EXPECT_FALSE(m_dir.exists("untouched"));
}

TEST_F(WinServiceManagerTest, MissingServiceAndSecondCreate) {
    EXPECT_FALSE(m_service.isInstalled());
    EXPECT_FALSE(m_service.isRunning());
    EXPECT_TRUE(m_service.binaryPath().isEmpty());
    EXPECT_FALSE(m_service.start());
    EXPECT_FALSE(m_service.stop());
    EXPECT_FALSE(m_service.remove());

    ASSERT_TRUE(m_service.create(u"Display", commandLine("normal"), WinServiceManager::START_AUTO));
    EXPECT_FALSE(m_service.create(u"Display", commandLine("normal"), WinServiceManager::START_AUTO));
    EXPECT_FALSE(WinServiceManager(u"qvrtest").create(u"Other", commandLine("normal"), 4));
    EXPECT_TRUE(m_service.isInstalled());
    EXPECT_FALSE(m_service.isRunning());
}

TEST_F(WinServiceManagerTest, StartStopRemoveSequence) {
    EXPECT_TRUE(WinServiceManager::isAdmin());
    ASSERT_TRUE(m_service.create(u"Display", commandLine("normal"), WinServiceManager::START_AUTO));
    // Stopping a stopped service succeeds at the first look.
    EXPECT_TRUE(m_service.stop());
    ASSERT_TRUE(m_service.start());
    EXPECT_TRUE(m_service.isRunning());
    EXPECT_TRUE(m_service.start());
    ASSERT_TRUE(m_service.stop());
    EXPECT_FALSE(m_service.isRunning());
    EXPECT_TRUE(m_service.isInstalled());
    EXPECT_TRUE(m_service.start());
    EXPECT_TRUE(m_service.stop());
    EXPECT_TRUE(m_service.remove());
    EXPECT_FALSE(m_service.isInstalled());
    EXPECT_FALSE(m_service.remove());
}

TEST_F(WinServiceManagerTest, DeleteWhileRunningGoesWhenStopped) {
    ASSERT_TRUE(m_service.create(u"Display", commandLine("normal"), WinServiceManager::START_AUTO));
    ASSERT_TRUE(m_service.start());
    EXPECT_TRUE(m_service.remove());
    EXPECT_TRUE(m_service.isInstalled());
    EXPECT_TRUE(m_service.isRunning());
    EXPECT_FALSE(m_service.start());
    EXPECT_FALSE(m_service.create(u"Display", commandLine("normal"), WinServiceManager::START_AUTO));
    // The stop's wait ends when the service has gone with its record.
    EXPECT_TRUE(m_service.stop());
    EXPECT_FALSE(m_service.isInstalled());
    EXPECT_TRUE(m_service.create(u"Display", commandLine("normal"), WinServiceManager::START_AUTO));
}

TEST_F(WinServiceManagerTest, FailedStartsReturnWithoutTheFullWait) {
    struct Case {
        char const* mode;
    } const cases[] = {{"exit-at-once"}, {"crash"}};
    ScopedEnv missing("GT_SERVICE_CONNECT_TIMEOUT_MS", "10000");
    for (auto const& c : cases) {
        SCOPED_TRACE(c.mode);
        WinServiceManager service(core::String::fromUtf8(c.mode));
        ASSERT_TRUE(service.create(u"Display", commandLine(c.mode), WinServiceManager::START_DEMAND));
        bool result = true;
        if (std::string(c.mode) == "crash") {
            // Runs, then dies without reporting when asked to stop: the stop
            // ends when the state falls back to stopped.
            ASSERT_TRUE(service.start());
            ASSERT_TRUE(endsEarly([&] { return service.stop(); }, &result));
            EXPECT_TRUE(result);
        } else {
            ASSERT_TRUE(endsEarly([&] { return service.start(); }, &result));
            EXPECT_FALSE(result);
        }
        EXPECT_FALSE(service.isRunning());
    }
    // A program that cannot be run at all.
    WinServiceManager absent(u"Absent");
    ASSERT_TRUE(
        absent.create(u"Display", m_dir.str("nothing") + u" --service", WinServiceManager::START_DEMAND));
    bool result = true;
    ASSERT_TRUE(endsEarly([&] { return absent.start(); }, &result));
    EXPECT_FALSE(result);
}

TEST_F(WinServiceManagerTest, ServicesThatDoNotReachTheWantedStateFailAfterTheWait) {
    WinServiceManager::setWait(5, 10);
    WinServiceManager pending(u"Pending");
    ASSERT_TRUE(pending.create(u"Display", commandLine("never-running"), WinServiceManager::START_DEMAND));
    EXPECT_FALSE(pending.start());
    EXPECT_TRUE(pending.isInstalled());
    EXPECT_FALSE(pending.isRunning());
    // A stop while start pending cannot be delivered: false without waiting.
    bool result = true;
    ASSERT_TRUE(endsEarly([&] { return pending.stop(); }, &result));
    EXPECT_FALSE(result);

    WinServiceManager::setWait(500, 20);
    WinServiceManager stubborn(u"Stubborn");
    ASSERT_TRUE(stubborn.create(u"Display", commandLine("ignore-stop"), WinServiceManager::START_DEMAND));
    ASSERT_TRUE(stubborn.start());
    WinServiceManager::setWait(5, 10);
    EXPECT_FALSE(stubborn.stop());
    EXPECT_TRUE(stubborn.isRunning());
}

TEST_F(WinServiceManagerTest, NonAdministratorCanOnlyQuery) {
    ASSERT_TRUE(m_service.create(u"Display", commandLine("normal"), WinServiceManager::START_AUTO));
    ASSERT_TRUE(m_service.start());
    ScopedEnv plainUser("GT_SERVICE_ADMIN", "0");
    EXPECT_FALSE(WinServiceManager::isAdmin());
    EXPECT_FALSE(WinServiceManager(u"Other").create(u"Display", commandLine("normal"), 3));
    EXPECT_FALSE(m_service.remove());
    EXPECT_FALSE(m_service.stop());
    EXPECT_TRUE(m_service.isInstalled());
    EXPECT_TRUE(m_service.isRunning());
    EXPECT_TRUE(m_service.binaryPath() == commandLine("normal"));
}

TEST_F(WinServiceManagerTest, QuotedCommandLineIsStoredAndReadBackInBothForms) {
    core::String program = u"/opt/my programs/QvrSvr";
    core::String quoted = WinServiceManager::quotedCommandLine(program, u"--service");
    EXPECT_TRUE(quoted == u"\"/opt/my programs/QvrSvr\" --service");
    EXPECT_TRUE(WinServiceManager::quotedCommandLine(program, core::String()) ==
                u"\"/opt/my programs/QvrSvr\"");
    ASSERT_TRUE(m_service.create(u"Display", quoted, WinServiceManager::START_AUTO));
    EXPECT_TRUE(m_service.binaryPath() == quoted);

    struct Case {
        char16_t const* commandLine;
        char16_t const* program;
    } const cases[] = {
        {u"\"/opt/my programs/QvrSvr\" --service", u"/opt/my programs/QvrSvr"},
        {u"\"/opt/my programs/QvrSvr\"", u"/opt/my programs/QvrSvr"},
        {u"  \"/opt/a -- b/QvrSvr\" --service", u"/opt/a -- b/QvrSvr"},
        // The older, unquoted form.
        {u"/opt/my programs/QvrSvr --service", u"/opt/my programs/QvrSvr"},
        {u"/opt/bin/QvrSvr", u"/opt/bin/QvrSvr"},
        {u" /opt/bin/QvrSvr  --service ", u"/opt/bin/QvrSvr"},
        {u"\"/opt/unclosed/QvrSvr --service", u"/opt/unclosed/QvrSvr --service"},
        {u"", u""},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(core::detail::nativePath(c.commandLine));
        EXPECT_TRUE(WinServiceManager::programPath(c.commandLine) == c.program);
    }
}

TEST_F(WinServiceManagerTest, HandRunServiceProgramExitsAtOnce) {
    EXPECT_EQ(runProgram({service(), "normal"}), 9);
}

}  // namespace
