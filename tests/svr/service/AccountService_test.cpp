// The account service stepped by a fake clock: the login check every 7 s
// (re-reading the token the desktop client writes), the device refresh on
// its 30 s grid, and what a failure or a new token does.
#include "svr/service/AccountService.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/FakeClock.h"
#include "support/FakeHttp.h"
#include "support/RecordingLog.h"
#include "support/TempDir.h"
#include "svr/DeviceApiClient.h"
#include "svr/IContext.h"
#include "tunnel/api/EncryptedProperties.h"

using gt::core::String;
using gt::test::methodOf;
using tunnel::AccountService;

namespace {

constexpr int kLoginMs = 7000;
constexpr int kRefreshMs = 30000;

// What the service reaches: the log, the settings file, the device client
// over a fake cloud that answers by method.
class AccountServiceTest : public ::testing::Test, public tunnel::IContext {
protected:
    AccountServiceTest()
        : m_properties(m_dir.str("properties.cfg"), u"pw"),
          m_client(m_dir.str("properties.cfg"), u"pw"),
          m_api(&m_http, gt::net::URL(u"http://h/device"), String()) {
        m_http.answer = [this](gt::net::HttpRequest const& request, gt::net::HttpResponse& reply) {
            std::string const method = methodOf(request);
            std::string member = "\"result\":null";
            if (method == "login") member = loginReply;
            if (method == "query_my_device") member = deviceReply;
            gt::test::rpcReply(request, reply, member);
            return true;
        };
    }
    ~AccountServiceTest() override { m_service.reset(); }

    gt::util::ILogRecorder* logRecorder() override { return &m_log; }
    tunnel::EncryptedProperties* properties() override { return &m_properties; }
    tunnel::NatManager* natManager() override { return nullptr; }
    tunnel::DeviceApiClient* apiClient() override { return &m_api; }
    AccountService* accountService() override { return m_service.get(); }
    void exit() override {}

    // The desktop client binds (or, with an empty token, unbinds) the device.
    void bind(char16_t const* token) { m_client.set(u"device.token", token); }
    void start() { m_service.reset(new AccountService(this)); }
    // Lets ms pass, then runs one cycle.
    void step(int ms) {
        m_clock.advance(static_cast<unsigned>(ms));
        m_service->process();
    }
    // Calls of the method sent since the last forget().
    int sent(std::string const& method) {
        int n = 0;
        for (; m_seen < m_http.calls.size(); ++m_seen)
            m_counted.push_back(methodOf(m_http.calls[m_seen].request));
        for (std::string const& m : m_counted)
            if (m == method) ++n;
        return n;
    }
    void forget() {
        sent("");
        m_counted.clear();
        m_log.take();
    }
    std::vector<std::string> lines() { return m_log.take(); }
    String sentToken(size_t login) {
        size_t seen = 0;
        for (auto const& call : m_http.calls) {
            if (methodOf(call.request) != "login") continue;
            if (seen++ == login) return gt::core::toString(gt::test::paramsOf(call.request).get(u"token"));
        }
        return u"(none)";
    }

    std::string loginReply = "\"result\":{\"session_id\":\"s-1\"}";
    std::string deviceReply = "\"result\":{\"device\":{\"id\":7,\"reload_time\":1700000000}}";

    gt::test::FakeClock m_clock;
    gt::test::TempDir m_dir;
    gt::test::RecordingLog m_log;
    gt::test::FakeHttp m_http;
    tunnel::EncryptedProperties m_properties;
    tunnel::EncryptedProperties m_client;  // the desktop client's handle on the same file
    tunnel::DeviceApiClient m_api;
    std::unique_ptr<AccountService> m_service;
    size_t m_seen = 0;
    std::vector<std::string> m_counted;
};

TEST_F(AccountServiceTest, FirstCycleLogsInAndRefreshesAtOnce) {
    bind(u"tok-1234");
    start();
    step(0);
    EXPECT_TRUE(m_service->isLoggedIn());
    EXPECT_EQ(1, m_service->loginCount());
    EXPECT_EQ(String(u"tok-1234"), sentToken(0));
    EXPECT_EQ(1, sent("query_my_device"));
    EXPECT_EQ(1700000000, m_service->reloadTime().seconds());
    EXPECT_EQ(std::vector<std::string>{"I [Device] logged in. Token: ****1234"}, lines());
}

TEST_F(AccountServiceTest, ShortTokenIsShownWhole) {
    bind(u"ab");
    start();
    step(0);
    EXPECT_EQ(std::vector<std::string>{"I [Device] logged in. Token: ****ab"}, lines());
}

TEST_F(AccountServiceTest, TokenIsReadAgainEverySevenSeconds) {
    start();
    step(0);
    EXPECT_EQ(std::vector<std::string>{"I [Device] Device account is not ready."}, lines());
    bind(u"tok-1234");
    step(kLoginMs - 1);  // not yet due: the new token is not read
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(0, sent("login"));
    step(1);
    EXPECT_EQ(1, sent("login"));
    EXPECT_TRUE(m_service->isLoggedIn());
    // Logged in with the same token: the check costs no call.
    forget();
    step(kLoginMs);
    EXPECT_EQ(0, sent("login"));
    EXPECT_TRUE(lines().empty());
}

TEST_F(AccountServiceTest, RefreshKeepsItsThirtySecondGrid) {
    bind(u"tok-1234");
    start();
    step(0);
    forget();
    step(kRefreshMs - 1);
    EXPECT_EQ(0, sent("query_my_device"));
    step(1);
    EXPECT_EQ(1, sent("query_my_device"));
    // A cycle that comes late does not move the grid: the next refresh is
    // due at 60 s, not 30 s after the late one.
    step(kRefreshMs + 5000);
    EXPECT_EQ(2, sent("query_my_device"));
    step(kRefreshMs - 5000);
    EXPECT_EQ(3, sent("query_my_device"));
    // The refresh signal makes it due at once.
    m_service->refreshNow();
    step(0);
    EXPECT_EQ(4, sent("query_my_device"));
}

TEST_F(AccountServiceTest, NewTokenLogsOutThenInAndRefreshesAtOnce) {
    bind(u"tok-1111");
    start();
    step(0);
    forget();
    bind(u"tok-2222");
    step(kLoginMs);
    EXPECT_EQ(1, sent("logout"));
    EXPECT_EQ(1, sent("login"));
    EXPECT_EQ(String(u"tok-2222"), sentToken(1));
    EXPECT_EQ(2, m_service->loginCount());
    EXPECT_EQ(1, sent("query_my_device"));
    EXPECT_EQ((std::vector<std::string>{"I [Device] Account changed, logout.",
                                        "I [Device] logged in. Token: ****2222"}),
              lines());
}

TEST_F(AccountServiceTest, ClearedTokenLogsOutAndWaits) {
    bind(u"tok-1111");
    start();
    step(0);
    forget();
    bind(u"");
    step(kLoginMs);
    EXPECT_EQ(1, sent("logout"));
    EXPECT_EQ(0, sent("login"));
    EXPECT_FALSE(m_service->isLoggedIn());
    EXPECT_EQ((std::vector<std::string>{"I [Device] Account changed, logout.",
                                        "I [Device] Device account is not ready."}),
              lines());
    // Logged out, the device is not refreshed.
    step(kRefreshMs);
    EXPECT_EQ(0, sent("query_my_device"));
}

TEST_F(AccountServiceTest, FailedLoginIsRetriedOnTheNextCheck) {
    struct Case {
        char const* name;
        std::string reply;
        char const* warning;
    } const cases[] = {
        {"refused", "\"error\":{\"code\":103,\"message\":\"bad token\"}",
         "W [Device] Failed to login: bad token"},
        {"no session", "\"result\":{}", "W [Device] Failed to login: the reply holds no session."},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        m_service.reset();
        forget();
        loginReply = c.reply;
        bind(u"tok-1234");
        start();
        step(0);
        EXPECT_FALSE(m_service->isLoggedIn());
        EXPECT_EQ(0, m_service->loginCount());
        EXPECT_EQ(0, sent("query_my_device"));
        EXPECT_EQ(std::vector<std::string>{c.warning}, lines());
        step(kLoginMs - 1);
        EXPECT_EQ(1, sent("login"));
        loginReply = "\"result\":{\"session_id\":\"s-2\"}";
        step(1);
        EXPECT_EQ(2, sent("login"));
        EXPECT_TRUE(m_service->isLoggedIn());
        EXPECT_EQ(1, m_service->loginCount());
        EXPECT_EQ(1, sent("query_my_device"));
    }
}

TEST_F(AccountServiceTest, RefreshFailures) {
    bind(u"tok-1234");
    deviceReply = "\"error\":{\"code\":500,\"message\":\"busy\"}";
    start();
    step(0);
    EXPECT_EQ(0, m_service->reloadTime().seconds());
    EXPECT_EQ((std::vector<std::string>{"I [Device] logged in. Token: ****1234",
                                        "W [Device] Failed to refresh: busy"}),
              lines());
    // Retried on the grid, not on every cycle.
    step(kRefreshMs - 1);
    EXPECT_EQ(1, sent("query_my_device"));
    // A session the cloud no longer knows ends the login; the next check
    // logs in again and refreshes at once.
    deviceReply = "\"error\":{\"code\":101,\"message\":\"session\"}";
    step(1);
    EXPECT_EQ(2, sent("query_my_device"));
    EXPECT_FALSE(m_service->isLoggedIn());
    deviceReply = "\"result\":{\"device\":{\"reload_time\":1700000005}}";
    step(kLoginMs);
    EXPECT_EQ(2, sent("login"));
    EXPECT_EQ(2, m_service->loginCount());
    EXPECT_EQ(3, sent("query_my_device"));
    EXPECT_EQ(1700000005, m_service->reloadTime().seconds());
}

TEST_F(AccountServiceTest, DestructionLogsOutWhateverTheState) {
    for (char16_t const* token : {u"tok-1234", u""}) {
        m_service.reset();
        forget();
        bind(token);
        start();
        step(0);
        m_service.reset();
        EXPECT_EQ(1, sent("logout"));
        EXPECT_TRUE(m_api.sessionId().isEmpty());
    }
}

}  // namespace
