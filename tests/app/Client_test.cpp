// The client context: its settings files, the request stack, the busy-dialog
// runner it forwards to, and its program-level duties.
#include "app/Client.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/ClientConstants.h"
#include "app/IBusyRunner.h"
#include "gt/core/io/File.h"
#include "support/ClientHome.h"
#include "support/CloudSupport.h"
#include "support/Text.h"
#include "tunnel/api/user/User.h"

using gt::core::Array;
using gt::core::Dictionary;
using gt::core::File;
using gt::core::String;
using gt::test::TestCloud;
using gt::test::utf8;
using tunnel::Client;
using tunnel::ClientConstants;

namespace {

// Runs every action on a thread of its own, as the main window does, and
// records the texts it was given.
class RecordingRunner : public tunnel::IBusyRunner {
public:
    void execute(QString const& text, std::function<void()> const& action) override {
        texts.push_back(text);
        std::thread worker(action);
        worker.join();
    }
    bool executeResult(QString const& text, std::function<bool()> const& action) override {
        bool result = false;
        execute(text, [&] { result = action(); });
        return result;
    }
    std::vector<QString> texts;
};

std::string readFile(String const& path) { return gt::test::bytes(File::readAll(path)); }

// Every test starts from an empty data folder.
class ClientTest : public ::testing::Test {
protected:
    ClientTest() {
        std::error_code ignored;
        std::filesystem::remove_all(utf8(ClientConstants::DATA_DIR()), ignored);
        std::filesystem::create_directories(utf8(ClientConstants::DATA_DIR()));
    }
    ~ClientTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(utf8(ClientConstants::DATA_DIR()), ignored);
    }
};

Client* cloudClient(TestCloud const& cloud, tunnel::IBusyRunner* runner = nullptr) {
    Array<String> hosts;
    hosts.add(gt::test::hostEntry(cloud.port()));
    return new Client(nullptr, runner,
                      gt::test::str("http://127.0.0.1:" + std::to_string(cloud.port()) + "/api"), hosts,
                      gt::test::demoSpec());
}

TEST_F(ClientTest, BothSettingsFilesAreReadAtConstruction) {
    Dictionary<String> user;
    user.set(u"device.id", u"10");
    Dictionary<String> config;
    config.set(u"version_new", u"2.1");
    ASSERT_TRUE(
        File::write(ClientConstants::PROPERTIES_FILE(),
                    tunnel::EncryptedProperties::encode(user, ClientConstants::PROPERTIES_PASSWORD())));
    ASSERT_TRUE(
        File::write(ClientConstants::CONFIG_FILE(),
                    tunnel::EncryptedProperties::encode(config, ClientConstants::PROPERTIES_PASSWORD())));
    Client client(nullptr, nullptr);
    EXPECT_EQ(utf8(client.userProperties()->get(u"device.id")), "10");
    EXPECT_EQ(utf8(client.configProperties()->get(u"version_new")), "2.1");
    EXPECT_TRUE(client.hasNewVersion());
    EXPECT_EQ(utf8(client.themeColor()), "#ffa924");
    EXPECT_EQ(client.mainWidget(), nullptr);
    EXPECT_TRUE(client.apiClient()->sessionId().isEmpty());
    EXPECT_TRUE(client.apiClient()->root().toString().endsWith(u"/user"));
}

TEST_F(ClientTest, VersionChecksCompareEveryField) {
    struct Case {
        char const* configured;  // nullptr: the key is missing
        bool newer;              // as "version_new"
        bool below;              // as "version_min"
    } const cases[] = {
        {"2.0.10", true, true},  {"2.0.9", false, false},   {"3", true, true},       {"2.1", true, true},
        {"2.0.9.5", true, true}, {"2.0.9.0", false, false}, {"2.0.8", false, false}, {"1.9.99", false, false},
        {"", false, false},      {nullptr, false, false},   {"x.y", false, false},   {"2.0.9a", false, false},
    };
    Client client(nullptr, nullptr);
    for (Case const& c : cases) {
        SCOPED_TRACE(c.configured ? c.configured : "(missing)");
        Dictionary<String> config;
        config.set(u"upgrade_url", u"http://example.invalid/");
        if (c.configured) {
            config.set(Client::VERSION_NEW_KEY, gt::test::str(c.configured));
            config.set(Client::VERSION_MIN_KEY, gt::test::str(c.configured));
        }
        client.configProperties()->setAll(config);
        EXPECT_EQ(client.hasNewVersion(), c.newer);
        EXPECT_EQ(client.belowMinVersion(), c.below);
    }
}

TEST(ClientVersions, CompareTable) {
    struct Case {
        char const* a;
        char const* b;
        int order;
    } const cases[] = {
        {"2.0.9", "2.0.9", 0},  {"2.0.9.1", "2.0.9", 1}, {"2.0.9", "2.0.9.1", -1},
        {"2.0.10", "2.0.9", 1}, {"2.0.9.0", "2.0.9", 0}, {"", "0", 0},
        {"", "0.0.1", -1},      {"10", "9.99", 1},       {"2..9", "2.0.9", 0},
        {"-1", "0", -1},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        int const order = Client::compareVersions(gt::test::str(c.a), gt::test::str(c.b));
        EXPECT_EQ((order > 0) - (order < 0), c.order);
        int const back = Client::compareVersions(gt::test::str(c.b), gt::test::str(c.a));
        EXPECT_EQ((back > 0) - (back < 0), -c.order);
    }
}

TEST_F(ClientTest, UpdateConfigsReplacesTheCacheOnlyOnSuccess) {
    TestCloud cloud("tests/peers/cloud_demo_state.json", {"RELAY=127.0.0.1:7000"});
    std::unique_ptr<Client> client(cloudClient(cloud));
    Dictionary<String> old;
    old.set(u"version_new", u"9.9");
    client->configProperties()->setAll(old);
    std::string const oldFile = readFile(ClientConstants::CONFIG_FILE());
    ASSERT_FALSE(oldFile.empty());

    ASSERT_EQ(cloud.command("fault rpc_error code=500 message=busy method=enum_configs times=1").substr(0, 2),
              "ok");
    EXPECT_FALSE(client->updateConfigs());
    EXPECT_EQ(utf8(client->apiClient()->errorMessage()), "busy");
    EXPECT_EQ(readFile(ClientConstants::CONFIG_FILE()), oldFile);
    EXPECT_TRUE(client->hasNewVersion());

    ASSERT_TRUE(client->updateConfigs()) << utf8(client->apiClient()->errorMessage());
    // The whole cache is the cloud's answer now, on disk too.
    Dictionary<String> const& values = client->configProperties()->values();
    EXPECT_EQ(values.count(), 2);
    EXPECT_EQ(utf8(values.get(u"min_version")), "2.0.0");
    EXPECT_FALSE(client->hasNewVersion());
    tunnel::EncryptedProperties reread(ClientConstants::CONFIG_FILE(),
                                       ClientConstants::PROPERTIES_PASSWORD());
    EXPECT_EQ(reread.values().count(), 2);
    EXPECT_TRUE(reread.get(u"version_new").isEmpty());
}

TEST_F(ClientTest, ActivedRequestIsAFileOfItsOwn) {
    Client client(nullptr, nullptr);
    EXPECT_FALSE(client.isActived());
    client.setActived(true);
    client.setActived(true);
    EXPECT_TRUE(client.isActived());
    EXPECT_EQ(readFile(ClientConstants::ACTIVED_FILE()), "ACTIVED");
    client.setActived(false);
    EXPECT_FALSE(client.isActived());
    EXPECT_FALSE(File::isFile(ClientConstants::ACTIVED_FILE()));
    client.setActived(false);  // nothing there: still quiet

    ASSERT_EQ(::mkdir(utf8(ClientConstants::ACTIVED_FILE()).c_str(), 0700), 0);
    EXPECT_FALSE(client.isActived());
}

TEST_F(ClientTest, ExecuteGoesThroughTheWindowsRunner) {
    RecordingRunner runner;
    Client client(nullptr, &runner);
    std::thread::id const gui = std::this_thread::get_id();
    std::thread::id worker;
    client.execute(u"正在保存", [&] { worker = std::this_thread::get_id(); });
    EXPECT_NE(worker, gui);
    EXPECT_TRUE(client.executeResult(u"", [] { return true; }));
    EXPECT_FALSE(client.executeResult(u"检查", [] { return false; }));
    ASSERT_EQ(runner.texts.size(), 3u);
    EXPECT_EQ(runner.texts[0], QString::fromUtf8("正在保存"));
    EXPECT_TRUE(runner.texts[1].isEmpty());
    EXPECT_EQ(runner.texts[2], QString::fromUtf8("检查"));

    // Without a window the action runs at once, on the caller's thread.
    Client bare(nullptr, nullptr);
    bare.execute(u"x", [&] { worker = std::this_thread::get_id(); });
    EXPECT_EQ(worker, gui);
    EXPECT_TRUE(bare.executeResult(u"x", [] { return true; }));
}

TEST_F(ClientTest, ActionsShareTheOneApiClientAcrossThreads) {
    TestCloud cloud("tests/peers/cloud_demo_state.json", {"RELAY=127.0.0.1:7000"});
    RecordingRunner runner;
    std::unique_ptr<Client> client(cloudClient(cloud, &runner));
    bool const loggedIn = client->executeResult(
        u"登录", [&] { return client->apiClient()->login(u"8613800000000", u"demo-password"); });
    ASSERT_TRUE(loggedIn) << utf8(client->apiClient()->errorMessage());
    // The GUI thread goes on with the session the worker opened.
    tunnel::User user;
    ASSERT_TRUE(client->apiClient()->queryMyUser(&user)) << utf8(client->apiClient()->errorMessage());
    EXPECT_EQ(utf8(user.name), "8613800000000");
    for (gt::core::Any const& call : gt::test::recorded(cloud)) {
        EXPECT_EQ(gt::test::textOf(call, u"encrypted"), "true");
        // The cloud is told the version the client compares with.
        if (gt::test::textOf(call, u"method") == "login") {
            Dictionary<gt::core::Any> const& params =
                gt::test::fieldsOf(call).get(u"params").cast<Dictionary<gt::core::Any> >();
            EXPECT_EQ(utf8(gt::core::toString(params.get(u"version"))), utf8(ClientConstants::VERSION));
        }
    }
}

}  // namespace
