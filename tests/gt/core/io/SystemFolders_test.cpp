#include "gt/core/io/SystemFolders.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "support/TempDir.h"
#include "support/Text.h"

using gt::core::String;
using gt::test::utf8;

namespace {

// Sets (or, with nullptr, removes) environment variables for one test.
class EnvGuard {
public:
    void set(char const* name, char const* value) {
        char const* old = ::getenv(name);
        m_saved.push_back({name, old != nullptr, old ? old : ""});
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~EnvGuard() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->had) {
                ::setenv(it->name.c_str(), it->value.c_str(), 1);
            } else {
                ::unsetenv(it->name.c_str());
            }
        }
    }

private:
    struct Saved {
        std::string name;
        bool had;
        std::string value;
    };
    std::vector<Saved> m_saved;
};

TEST(SystemFolders, ProgramFileIsTheRunningExecutable) {
    std::string file = utf8(gt::core::getProgramFile());
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file[0], '/');
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    EXPECT_EQ(file, std::string(buffer, static_cast<size_t>(n)));
    std::string dir = utf8(gt::core::getProgramDirectory());
    EXPECT_EQ(dir + "/core_io_tests", file);
}

TEST(SystemFolders, DataFoldersFollowTheEnvironment) {
    EnvGuard env;
    env.set("HOME", "/home/tester/");
    env.set("GT_COMMON_APPDATA", nullptr);
    env.set("XDG_DATA_HOME", nullptr);
    env.set("XDG_CONFIG_HOME", nullptr);
    env.set("XDG_STATE_HOME", nullptr);
    EXPECT_EQ(utf8(gt::core::getUserProfileDirectory()), "/home/tester");
    EXPECT_EQ(utf8(gt::core::getStateDirectory()), "/home/tester/.local/state");
    EXPECT_EQ(utf8(gt::core::getCommonAppDataDirectory()), "/home/tester/.local/share");
    EXPECT_EQ(utf8(gt::core::getLocalAppDataDirectory()), "/home/tester/.local/share");
    EXPECT_EQ(utf8(gt::core::getAppDataDirectory()), "/home/tester/.config");
    env.set("XDG_DATA_HOME", "/data/xdg");
    env.set("XDG_CONFIG_HOME", "/conf/xdg/");
    EXPECT_EQ(utf8(gt::core::getCommonAppDataDirectory()), "/data/xdg");
    EXPECT_EQ(utf8(gt::core::getAppDataDirectory()), "/conf/xdg");
    env.set("GT_COMMON_APPDATA", "/shared/appdata/");
    EXPECT_EQ(utf8(gt::core::getCommonAppDataDirectory()), "/shared/appdata");
    env.set("GT_COMMON_APPDATA", "");  // empty counts as unset
    EXPECT_EQ(utf8(gt::core::getCommonAppDataDirectory()), "/data/xdg");
    env.set("XDG_STATE_HOME", "/state/xdg");
    EXPECT_EQ(utf8(gt::core::getStateDirectory()), "/state/xdg");
    // A relative XDG folder is invalid and ignored.
    env.set("XDG_DATA_HOME", "data");
    env.set("XDG_CONFIG_HOME", "conf");
    env.set("XDG_STATE_HOME", "state");
    EXPECT_EQ(utf8(gt::core::getLocalAppDataDirectory()), "/home/tester/.local/share");
    EXPECT_EQ(utf8(gt::core::getAppDataDirectory()), "/home/tester/.config");
    EXPECT_EQ(utf8(gt::core::getStateDirectory()), "/home/tester/.local/state");
}

TEST(SystemFolders, TempDirectoryHasNoTrailingSeparator) {
    EnvGuard env;
    struct Case {
        char const* tmpdir;
        char const* result;
    } const cases[] = {
        {"/var/tmp/", "/var/tmp"}, {"/var/tmp//", "/var/tmp"}, {"/", "/"}, {nullptr, "/tmp"}, {"", "/tmp"}};
    for (auto const& c : cases) {
        env.set("TMPDIR", c.tmpdir);
        EXPECT_EQ(utf8(gt::core::getTempDirectory()), c.result) << (c.tmpdir ? c.tmpdir : "(unset)");
    }
}

TEST(SystemFolders, CurrentDirectory) {
    gt::test::TempDir dir;
    String before = gt::core::getCurrentDirectory();
    ASSERT_FALSE(before.isEmpty());
    char real[4096];
    ASSERT_TRUE(::realpath(dir.path().c_str(), real));
    ASSERT_TRUE(gt::core::setCurrentDirectory(dir.str() + u"\\"));
    EXPECT_EQ(utf8(gt::core::getCurrentDirectory()), real);
    EXPECT_FALSE(gt::core::setCurrentDirectory(dir.str("missing")));
    EXPECT_TRUE(gt::core::setCurrentDirectory(before));
    EXPECT_EQ(gt::core::getCurrentDirectory(), before);
}

TEST(SystemFolders, SystemPlaces) {
    EXPECT_EQ(utf8(gt::core::getSystemDirectory()), "/usr/bin");
    EXPECT_EQ(utf8(gt::core::getSystemDrive()), "/");
}

}  // namespace
