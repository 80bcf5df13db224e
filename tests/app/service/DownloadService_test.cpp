#include "app/service/DownloadService.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/IContext.h"
#include "support/HttpPeer.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Text.h"
#include "support/Wait.h"

namespace {

using gt::core::Array;
using gt::core::Binary;
using gt::core::String;
using gt::net::URL;
using gt::test::ScopedEnv;
using gt::test::str;
using gt::test::TempDir;
using gt::test::utf8;
using tunnel::DownloadService;

// The client context as the launcher uses it: the busy runner runs each
// action on a thread of its own, as the main window's busy dialog does.
class FakeContext : public tunnel::IContext {
public:
    QWidget* mainWidget() override { return nullptr; }
    tunnel::EncryptedProperties* configProperties() override { return nullptr; }
    tunnel::EncryptedProperties* userProperties() override { return nullptr; }
    gt::util::IHttpAccess* httpAccess() override { return nullptr; }
    tunnel::ApiClient* apiClient() override { return nullptr; }
    void execute(String const& caption, std::function<void()> const& action) override {
        captions.push_back(utf8(caption));
        std::thread(action).join();
    }
    bool executeResult(String const& caption, std::function<bool()> const& action) override {
        captions.push_back(utf8(caption));
        bool result = false;
        std::thread([&] { result = action(); }).join();
        return result;
    }
    String themeColor() override { return u"#ffa924"; }

    std::vector<std::string> captions;
};

// What one run of the stand-in logged.
struct StandInRun {
    int pid = 0;
    std::vector<std::string> args;
    std::vector<std::string> descriptors;
    std::string listFolderMode;
};

std::vector<StandInRun> readRuns(std::string const& log) {
    std::vector<StandInRun> runs;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::string const word = line.substr(0, line.find(' '));
        std::string const rest = line.size() > word.size() ? line.substr(word.size() + 1) : std::string();
        if (word == "pid") {
            runs.emplace_back();
            runs.back().pid = std::atoi(rest.c_str());
        } else if (runs.empty()) {
            continue;
        } else if (word == "arg") {
            runs.back().args.push_back(rest);
        } else if (word == "fd") {
            runs.back().descriptors.push_back(rest);
        } else if (word == "list-folder-mode") {
            runs.back().listFolderMode = rest;
        }
    }
    return runs;
}

class DownloadServiceTest : public ::testing::Test {
protected:
    DownloadServiceTest() {
        // The updater beside the "client": a copy of the stand-in.
        std::filesystem::copy_file(GT_UPGRADER_STAND_IN, m_dir.path("Upgrader"));
        std::filesystem::create_directories(m_dir.path("tmp"));
    }

    DownloadService service() { return DownloadService(&m_context, upgrader(), staged()); }
    String upgrader() const { return m_dir.str("Upgrader"); }
    String staged() const { return m_dir.str("Upgrader.ex_"); }
    std::vector<StandInRun> runs() const { return readRuns(m_dir.readFile("log")); }

    TempDir m_dir;
    FakeContext m_context;
    ScopedEnv m_log{"QV_UPGRADER_LOG", m_dir.path("log").c_str()};
    ScopedEnv m_tmp{"TMPDIR", m_dir.path("tmp").c_str()};
    ScopedEnv m_exit{"QV_UPGRADER_EXIT", nullptr};
    ScopedEnv m_delay{"QV_UPGRADER_DELAY_MS", nullptr};
};

// Cloud values with quotes and blanks stay single arguments.
char const kCaption[] = "检查 \"更新\" -action=upgrade";
char const kUrl[] = "http://up.example.com:81/v?a=1&b=\" -run=/bin/sh";

TEST_F(DownloadServiceTest, EachModeHandsItsArgumentsOneByOne) {
    String const caption = str(kCaption);
    {
        ScopedEnv exit("QV_UPGRADER_EXIT", "102");
        bool hasUpdate = false;
        ASSERT_TRUE(service().compareUpgrade(caption, URL(str(kUrl)), u"/opt/q dir", u"2.0.9\"", &hasUpdate));
        EXPECT_TRUE(hasUpdate);
    }
    ASSERT_TRUE(service().launchUpgrade(caption, URL(str(kUrl)), m_dir.str("target dir"), u"",
                                        u"/opt/q/Quorvane", true));
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.path("target dir")));
    Array<DownloadService::FileItem> items;
    items.add({u"a", URL(u"http://h/a"), u"/save/a"});
    ASSERT_TRUE(service().launchDownload(caption, items));

    std::string const up = m_dir.path("Upgrader");
    auto got = runs();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].args, (std::vector<std::string>{
                               up, "-action=compare", "-color=#ffa924", std::string("-caption=") + kCaption,
                               std::string("-url=") + kUrl, "-dir=/opt/q dir", "-compare=2.0.9\""}));
    EXPECT_EQ(got[1].args, (std::vector<std::string>{
                               up, "-action=upgrade", "-color=#ffa924", std::string("-caption=") + kCaption,
                               std::string("-url=") + kUrl, "-dir=" + m_dir.path("target dir"),
                               "-compare=", "-run=/opt/q/Quorvane", "-thread=10", "-retry=99"}));
    ASSERT_EQ(got[2].args.size(), 7u);
    std::string const listArg = got[2].args[4];
    ASSERT_EQ(listArg.rfind("-list-file=" + m_dir.path("tmp") + "/", 0), 0u) << listArg;
    EXPECT_EQ(listArg.substr(listArg.size() - 19), "/download_list.json");
    got[2].args[4] = "LIST";
    EXPECT_EQ(got[2].args, (std::vector<std::string>{up, "-action=download", "-color=#ffa924",
                                                     std::string("-caption=") + kCaption, "LIST",
                                                     "-thread=10", "-retry=99"}));
    EXPECT_EQ(m_context.captions, (std::vector<std::string>{kCaption, kCaption, kCaption}));
}

TEST_F(DownloadServiceTest, ExitCodesBecomeResultsAndMessages) {
    enum Mode { COMPARE, UPGRADE, DOWNLOAD };
    struct Case {
        Mode mode;
        char const* code;
        bool result;
        bool hasUpdate;
        char const* error;
    } const cases[] = {
        {COMPARE, "102", true, true, ""},
        {COMPARE, "0", true, false, ""},
        {COMPARE, "1", false, false, "检测进程返回错误代码：1"},
        {COMPARE, "2", false, false, "检测进程返回错误代码：2"},
        {UPGRADE, "0", true, false, ""},
        {UPGRADE, "2", false, false, "已取消更新"},
        {UPGRADE, "1", false, false, "更新进程返回错误代码：1"},
        {UPGRADE, "102", false, false, "更新进程返回错误代码：102"},
        {DOWNLOAD, "0", true, false, ""},
        {DOWNLOAD, "2", false, false, "已取消下载"},
        {DOWNLOAD, "1", false, false, "下载进程返回错误代码：1"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " exits " + c.code);
        ScopedEnv exit("QV_UPGRADER_EXIT", c.code);
        DownloadService launcher = service();
        bool result = false;
        bool hasUpdate = !c.hasUpdate;
        switch (c.mode) {
            case COMPARE:
                result = launcher.compareUpgrade(u"c", URL(u"http://h/u"), u"", u"", &hasUpdate);
                break;
            case UPGRADE:
                result = launcher.launchUpgrade(u"c", URL(u"http://h/u"), u"", u"", u"/x", true);
                break;
            case DOWNLOAD:
                result = launcher.launchDownload(u"c", Array<DownloadService::FileItem>());
                break;
        }
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(utf8(launcher.lastError()), c.error);
        if (c.mode == COMPARE && c.result) {
            EXPECT_EQ(hasUpdate, c.hasUpdate);
        }
    }
    // A null flag runs nothing.
    EXPECT_FALSE(service().compareUpgrade(u"c", URL(), u"", u"", nullptr));
    EXPECT_EQ(runs().size(), sizeof cases / sizeof cases[0]);
}

TEST_F(DownloadServiceTest, AnUpgradeWithoutWaitingSucceedsOnceStarted) {
    ScopedEnv exit("QV_UPGRADER_EXIT", "1");
    ScopedEnv delay("QV_UPGRADER_DELAY_MS", "2000");
    DownloadService launcher = service();
    EXPECT_TRUE(launcher.launchUpgrade(u"c", URL(u"http://h/u"), u"", u"", u"/x", false));
    EXPECT_TRUE(launcher.lastError().isEmpty());
    // It goes on without us.
    ASSERT_TRUE(gt::test::waitFor([&] { return runs().size() == 1; }));
    EXPECT_EQ(::kill(runs()[0].pid, 0), 0);
    ::kill(runs()[0].pid, SIGKILL);
}

TEST_F(DownloadServiceTest, AnUpdaterThatCannotStartIsNamedByMode) {
    std::filesystem::remove(m_dir.path("Upgrader"));
    DownloadService launcher = service();
    bool hasUpdate = false;
    EXPECT_FALSE(launcher.compareUpgrade(u"c", URL(), u"", u"", &hasUpdate));
    EXPECT_EQ(utf8(launcher.lastError()), "检测进程未能启动！");
    EXPECT_FALSE(launcher.launchUpgrade(u"c", URL(), u"", u"", u"", false));
    EXPECT_EQ(utf8(launcher.lastError()), "更新进程未能启动！");
    EXPECT_FALSE(launcher.launchDownload(u"c", Array<DownloadService::FileItem>()));
    EXPECT_EQ(utf8(launcher.lastError()), "下载进程未能启动！");
    // The list's folder went with the failed run.
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path("tmp")));
}

TEST_F(DownloadServiceTest, AnUpdaterThatNeverEndsIsKilledAtItsLimit) {
    ScopedEnv delay("QV_UPGRADER_DELAY_MS", "60000");
    DownloadService launcher = service();
    launcher.setWaitLimits(300, 300);
    bool hasUpdate = false;
    EXPECT_FALSE(launcher.compareUpgrade(u"c", URL(), u"", u"", &hasUpdate));
    EXPECT_EQ(utf8(launcher.lastError()), "检测进程返回错误代码：9");
    EXPECT_FALSE(launcher.launchDownload(u"c", Array<DownloadService::FileItem>()));
    EXPECT_EQ(utf8(launcher.lastError()), "下载进程返回错误代码：9");
    auto const got = runs();
    ASSERT_EQ(got.size(), 2u);
    for (auto const& run : got)
        EXPECT_NE(::kill(run.pid, 0), 0) << "still there: " << run.pid;
}

TEST_F(DownloadServiceTest, TheUpdaterInheritsNoDescriptorOfOurs) {
    // The client's lock, deliberately without close-on-exec.
    int lock = ::open(m_dir.path("app.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(lock, 0);
    bool hasUpdate = false;
    ASSERT_TRUE(service().compareUpgrade(u"c", URL(), u"", u"", &hasUpdate));
    ::close(lock);
    auto const got = runs();
    ASSERT_EQ(got.size(), 1u);
    for (std::string const& target : got[0].descriptors)
        EXPECT_EQ(target, m_dir.path("log"));  // the stand-in's own log only
}

TEST_F(DownloadServiceTest, AStagedUpdaterReplacesTheOldOneWhenItDiffers) {
    // The staged copy logs "staged" and is not executable as it lies there.
    m_dir.writeFile("Upgrader.ex_", "#!/bin/sh\necho staged >> \"$QV_UPGRADER_LOG\"\nexit 0\n");
    ASSERT_EQ(::chmod(m_dir.path("Upgrader.ex_").c_str(), 0644), 0);
    bool hasUpdate = true;
    ASSERT_TRUE(service().compareUpgrade(u"c", URL(), u"", u"", &hasUpdate)) << utf8(service().lastError());
    EXPECT_FALSE(hasUpdate);
    EXPECT_EQ(m_dir.readFile("log"), "staged\n");
    EXPECT_EQ(m_dir.readFile("Upgrader"), m_dir.readFile("Upgrader.ex_"));
    struct stat st;
    ASSERT_EQ(::stat(m_dir.path("Upgrader").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    // Identical contents: nothing is copied (the file stays the same file).
    ino_t const inode = st.st_ino;
    ASSERT_TRUE(service().compareUpgrade(u"c", URL(), u"", u"", &hasUpdate));
    ASSERT_EQ(::stat(m_dir.path("Upgrader").c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, inode);

    // No staged copy: the updater stays as it is.
    std::filesystem::remove(m_dir.path("Upgrader.ex_"));
    ASSERT_TRUE(service().compareUpgrade(u"c", URL(), u"", u"", &hasUpdate));
    EXPECT_EQ(m_dir.readFile("log"), "staged\nstaged\nstaged\n");
    std::filesystem::remove(m_dir.path("Upgrader"));
    EXPECT_FALSE(service().compareUpgrade(u"c", URL(), u"", u"", &hasUpdate));
}

TEST_F(DownloadServiceTest, TheListGoesToAPrivateFolderThatIsRemovedAfterwards) {
    Array<DownloadService::FileItem> items;
    items.add({str("映射.exe"), URL(u"http://files.example.com/a b?x=\"1\""), u"/save/映射.exe"});
    items.add({u"b", URL(u"http://files.example.com/b"), u"C:\\save\\b"});
    ASSERT_TRUE(service().launchDownload(u"c", items));
    EXPECT_EQ(m_dir.readFile("log.list"),
              "[\r\n\t{\r\n\t\t\"name\":\"映射.exe\",\r\n\t\t\"save_file\":\"/save/映射.exe\",\r\n"
              "\t\t\"url\":\"http://files.example.com/a b?x=\\\"1\\\"\"\r\n\t},\r\n"
              "\t{\r\n\t\t\"name\":\"b\",\r\n\t\t\"save_file\":\"C:\\\\save\\\\b\",\r\n"
              "\t\t\"url\":\"http://files.example.com/b\"\r\n\t}\r\n]");
    auto const got = runs();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].listFolderMode, "700");
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path("tmp")));
}

TEST_F(DownloadServiceTest, AListThatCannotBeWrittenIsAMessage) {
    ScopedEnv tmp("TMPDIR", m_dir.path("no/such/folder").c_str());
    DownloadService launcher = service();
    EXPECT_FALSE(launcher.launchDownload(u"c", Array<DownloadService::FileItem>()));
    EXPECT_EQ(utf8(launcher.lastError()), "下载列表未能写入！");
    EXPECT_FALSE(m_dir.exists("log"));  // the updater did not run
}

TEST(DownloadServiceBackup, BakGoesInFrontOfNamedHostsOnly) {
    struct Case {
        char const* url;
        char const* backup;  // null: no second try
    } const cases[] = {
        {"http://updates.example.com:8080/a/b?c=d#f", "http://bak.updates.example.com:8080/a/b?c=d#f"},
        {"http://updates.example.com/file", "http://bak.updates.example.com/file"},
        {"http://127.0.0.1:8080/file", nullptr},
        {"http://10.1.2.3/file", nullptr},
        {"http://10.1.2/file", "http://bak.10.1.2/file"},
        {"http://010.1.2.3/file", "http://bak.010.1.2.3/file"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.url);
        URL backup(u"untouched");
        EXPECT_EQ(DownloadService::backupUrl(URL(str(c.url)), &backup), c.backup != nullptr);
        EXPECT_EQ(utf8(backup.toString()), c.backup ? c.backup : "untouched");
    }
}

// Records the URLs fetched; answers from a script.
class ScriptedDownload : public DownloadService {
public:
    ScriptedDownload(tunnel::IContext* context, std::vector<bool> answers)
        : DownloadService(context, u"/none", u"/none"), m_answers(std::move(answers)) {}
    std::vector<std::string> fetched;

protected:
    bool _httpGet(URL const& url, Binary* body) override {
        fetched.push_back(utf8(url.toString()));
        bool const ok = fetched.size() <= m_answers.size() && m_answers[fetched.size() - 1];
        if (ok) *body = gt::test::bin("body of " + fetched.back());
        return ok;
    }

private:
    std::vector<bool> m_answers;
};

TEST(DownloadServiceFetch, AFailedFetchIsRetriedOnceOnTheBakHost) {
    TempDir dir;
    FakeContext context;
    struct Case {
        char const* url;
        std::vector<bool> answers;
        std::vector<std::string> fetched;
        bool result;
    } const cases[] = {
        {"http://h.example.com/f", {true}, {"http://h.example.com/f"}, true},
        {"http://h.example.com/f",
         {false, true},
         {"http://h.example.com/f", "http://bak.h.example.com/f"},
         true},
        {"http://h.example.com/f",
         {false, false},
         {"http://h.example.com/f", "http://bak.h.example.com/f"},
         false},
        {"http://127.0.0.1:9/f", {false, true}, {"http://127.0.0.1:9/f"}, false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.url);
        std::filesystem::remove(dir.path("saved"));
        ScriptedDownload launcher(&context, c.answers);
        EXPECT_EQ(launcher.download(u"下载", URL(str(c.url)), dir.str("saved")), c.result);
        EXPECT_EQ(launcher.fetched, c.fetched);
        EXPECT_EQ(dir.exists("saved"), c.result);
        if (c.result) {
            EXPECT_EQ(dir.readFile("saved"), "body of " + c.fetched.back());
        }
        EXPECT_TRUE(launcher.lastError().isEmpty());
    }
}

TEST(DownloadServiceFetch, OnlyA2xxReplyIsAFile) {
    gt::test::HttpPeer peer;
    TempDir dir;
    FakeContext context;
    struct Case {
        int code;
        bool saved;
    } const cases[] = {{200, true}, {299, true}, {304, false}, {404, false}, {500, false}};
    for (auto const& c : cases) {
        SCOPED_TRACE(c.code);
        std::filesystem::remove(dir.path("saved"));
        DownloadService launcher(&context, u"/none", u"/none");
        std::string const url =
            "http://" + peer.hostPort() + "/status?code=" + std::to_string(c.code) + "&body=payload";
        EXPECT_EQ(launcher.download(u"下载", URL(str(url)), dir.str("saved")), c.saved);
        EXPECT_EQ(dir.exists("saved"), c.saved);
        if (c.saved) {
            EXPECT_EQ(dir.readFile("saved"), "payload");
        }
    }
}

}  // namespace
