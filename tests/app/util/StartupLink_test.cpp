#include "app/util/StartupLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "support/Text.h"

namespace {

using gt::core::String;
using gt::test::TempDir;
using gt::test::utf8;
using tunnel::StartupLink;

TEST(StartupLink, EntryIsWrittenWithItsFolderReplacedAndRemoved) {
    TempDir dir;
    String const link = dir.str("config/autostart/Quorvane.desktop");
    EXPECT_FALSE(StartupLink::exists(link));
    // Nothing there: removing is done already.
    EXPECT_TRUE(StartupLink::remove(link));

    ASSERT_TRUE(StartupLink::create(link, u"/opt/my apps/Quorvane", {u"--minimize=true"}));
    EXPECT_TRUE(StartupLink::exists(link));
    EXPECT_EQ(dir.readFile("config/autostart/Quorvane.desktop"),
              "[Desktop Entry]\nType=Application\nName=Quorvane\n"
              "Exec=\"/opt/my apps/Quorvane\" \"--minimize=true\"\n"
              "Terminal=false\nX-GNOME-Autostart-enabled=true\n");

    // Written again for another program: the whole entry is replaced.
    ASSERT_TRUE(StartupLink::create(link, u"/usr/bin/Quorvane", {}));
    std::string const entry = dir.readFile("config/autostart/Quorvane.desktop");
    EXPECT_NE(entry.find("\nExec=\"/usr/bin/Quorvane\"\n"), std::string::npos) << entry;

    EXPECT_TRUE(StartupLink::remove(link));
    EXPECT_FALSE(StartupLink::exists(link));
    EXPECT_FALSE(dir.exists("config/autostart/Quorvane.desktop"));
}

TEST(StartupLink, FailuresSayWhy) {
    TempDir dir;
    String error;
    // The program's path cannot go into a one-line value.
    EXPECT_FALSE(StartupLink::create(dir.str("Quorvane.desktop"), u"/opt/a\nb/Quorvane", {}, &error));
    EXPECT_NE(utf8(error).find("/opt/a"), std::string::npos) << utf8(error);
    EXPECT_FALSE(dir.exists("Quorvane.desktop"));

    // A folder where the entry goes is neither replaced nor removed.
    ASSERT_EQ(0, ::mkdir(dir.path("Quorvane.desktop").c_str(), 0700));
    error.clear();
    EXPECT_FALSE(StartupLink::create(dir.str("Quorvane.desktop"), u"/opt/Quorvane", {}, &error));
    EXPECT_NE(utf8(error).find("Quorvane.desktop"), std::string::npos) << utf8(error);
    EXPECT_FALSE(StartupLink::exists(dir.str("Quorvane.desktop")));
    // Not a file: there is no entry to remove.
    EXPECT_TRUE(StartupLink::remove(dir.str("Quorvane.desktop")));

    // A file where the folder goes.
    dir.writeFile("autostart", "");
    error.clear();
    EXPECT_FALSE(StartupLink::create(dir.str("autostart/Quorvane.desktop"), u"/opt/Quorvane", {}, &error));
    EXPECT_NE(utf8(error).find("autostart"), std::string::npos) << utf8(error);
}

}  // namespace
