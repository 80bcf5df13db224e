// The client's update checks against a stand-in updater lying beside the
// test program, where the updater lies beside an installed client (the test
// program is built into a folder of its own for that).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Client.h"
#include "app/ClientConstants.h"
#include "app/IBusyRunner.h"
#include "gt/core/io/File.h"
#include "gt/core/io/SystemFolders.h"
#include "support/ClientHome.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Text.h"
#include "support/Wait.h"

using gt::core::Dictionary;
using gt::core::String;
using gt::test::ScopedEnv;
using gt::test::TempDir;
using gt::test::utf8;
using tunnel::Client;
using tunnel::ClientConstants;

namespace {

class CaptionRunner : public tunnel::IBusyRunner {
public:
    void execute(QString const& text, std::function<void()> const& action) override {
        captions.push_back(text.toStdString());
        std::thread(action).join();
    }
    bool executeResult(QString const& text, std::function<bool()> const& action) override {
        bool result = false;
        execute(text, [&] { result = action(); });
        return result;
    }
    std::vector<std::string> captions;
};

// The arguments the stand-in logged, program path first.
std::vector<std::string> loggedArguments(std::string const& log) {
    std::ifstream in(log);
    std::vector<std::string> args;
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 4, "arg ") == 0) args.push_back(line.substr(4));
    }
    return args;
}

class ClientInstallation : public ::testing::Test {
protected:
    ClientInstallation() : m_log("QV_UPGRADER_LOG", m_dir.path("upgrader.log").c_str()) {
        std::filesystem::create_directories(utf8(ClientConstants::DATA_DIR()));
        m_client.reset(new Client(nullptr, &m_runner, u"http://127.0.0.1:1", gt::core::Array<String>(), u""));
        Dictionary<String> config;
        // Cloud text goes to the updater as one argument, whatever it holds.
        config.set(Client::UPGRADE_URL_KEY, u"http://up.example/client?v=\"2\" -action=download");
        m_client->configProperties()->setAll(config);
    }
    ~ClientInstallation() override {
        std::error_code ignored;
        std::filesystem::remove_all(utf8(ClientConstants::DATA_DIR()), ignored);
    }

    TempDir m_dir;
    ScopedEnv m_log;
    CaptionRunner m_runner;
    std::unique_ptr<Client> m_client;
};

TEST_F(ClientInstallation, TheUpdaterLiesBesideTheClient) {
    ASSERT_TRUE(gt::core::File::isFile(ClientConstants::UPGRADER_FILE()))
        << "the build puts the stand-in there: " << utf8(ClientConstants::UPGRADER_FILE());
}

TEST_F(ClientInstallation, CheckUpgradeByTheUpdatersExitCode) {
    struct Case {
        char const* exit;
        bool answered;
        bool hasUpdate;
    } const cases[] = {{"102", true, true}, {"0", true, false}, {"1", false, false}, {"2", false, false}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.exit);
        ScopedEnv code("QV_UPGRADER_EXIT", c.exit);
        std::filesystem::remove(m_dir.path("upgrader.log"));
        bool hasUpdate = !c.hasUpdate;
        String error = u"stale";
        EXPECT_EQ(m_client->checkUpgrade(&hasUpdate, &error), c.answered);
        if (c.answered) {
            EXPECT_EQ(hasUpdate, c.hasUpdate);
            EXPECT_EQ(utf8(error), "stale");
        } else {
            EXPECT_NE(utf8(error), "stale");
            EXPECT_FALSE(error.isEmpty());
        }
        std::vector<std::string> const args = loggedArguments(m_dir.path("upgrader.log"));
        std::vector<std::string> const expected = {
            utf8(ClientConstants::UPGRADER_FILE()),
            "-action=compare",
            "-color=#ffa924",
            "-caption=检查更新",
            "-url=http://up.example/client?v=\"2\" -action=download",
            "-dir=",
            "-compare=",
        };
        EXPECT_EQ(args, expected);
    }
    EXPECT_EQ(m_runner.captions, std::vector<std::string>(4, "检查更新"));
    bool unused = false;
    EXPECT_TRUE(m_client->checkUpgrade(&unused, nullptr));
}

TEST_F(ClientInstallation, ApplyUpgradeStartsTheUpdaterAndGoesOn) {
    // The updater outlives the call: the client ends next and is replaced.
    ScopedEnv delay("QV_UPGRADER_DELAY_MS", "500");
    String error;
    EXPECT_TRUE(m_client->applyUpgrade(&error)) << utf8(error);
    std::vector<std::string> args;
    ASSERT_TRUE(gt::test::waitFor(
        [&] {
            args = loggedArguments(m_dir.path("upgrader.log"));
            return args.size() >= 10;
        },
        10000));
    std::vector<std::string> const expected = {
        utf8(ClientConstants::UPGRADER_FILE()),
        "-action=upgrade",
        "-color=#ffa924",
        "-caption=应用升级",
        "-url=http://up.example/client?v=\"2\" -action=download",
        "-dir=",
        "-compare=",
        "-run=" + utf8(gt::core::getProgramFile()),
        "-thread=10",
        "-retry=99",
    };
    EXPECT_EQ(args, expected);
    EXPECT_EQ(m_runner.captions, std::vector<std::string>{"应用升级"});
}

}  // namespace
