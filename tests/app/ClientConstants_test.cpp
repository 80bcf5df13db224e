// Where the client looks for the files it shares with the service program
// and the updater.
#include "app/ClientConstants.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "gt/core/io/File.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/util/MD5.h"
#include "gt/net/socket/SocketAddress.h"
#include "support/ClientHome.h"
#include "support/Text.h"
#include "tunnel/api/DataFolder.h"

using gt::core::String;
using gt::test::utf8;
using tunnel::ClientConstants;

TEST(ClientConstants, SharedFilesLieInTheServiceProgramsDataFolder) {
    ClientConstants::init();
    std::string const base = ::getenv("GT_COMMON_APPDATA");
    EXPECT_EQ(utf8(ClientConstants::DATA_DIR()), base + "/Quorvane2");
    EXPECT_EQ(utf8(ClientConstants::DATA_DIR()), utf8(tunnel::DataFolder::path()));
    struct Case {
        String const& path;
        char const* name;
    } const cases[] = {
        {ClientConstants::APP_LOCK_FILE(), "app.lock"},
        {ClientConstants::CONFIG_FILE(), "config.cfg"},
        {ClientConstants::PROPERTIES_FILE(), "properties.cfg"},
        {ClientConstants::STATUS_FILE(), "status.json.tmp"},
        {ClientConstants::ACTIVED_FILE(), "app_actived.tmp"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf8(c.path), base + "/Quorvane2/" + c.name);
    }
    // The service program names its files through the same class.
    EXPECT_EQ(utf8(ClientConstants::PROPERTIES_FILE()),
              utf8(ClientConstants::DATA_DIR() + u"/" + tunnel::DataFolder::PROPERTIES_FILE));
    EXPECT_EQ(utf8(ClientConstants::STATUS_FILE()),
              utf8(ClientConstants::DATA_DIR() + u"/" + tunnel::DataFolder::STATUS_FILE));
}

TEST(ClientConstants, ProgramsBesideTheClientLieInItsOwnFolder) {
    std::string const folder = utf8(gt::core::getProgramDirectory());
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(utf8(ClientConstants::SVR_EXE_FILE()), folder + "/QvrSvr");
    // Every program of the build lands in one folder, as in an installation.
    EXPECT_TRUE(gt::core::File::isFile(ClientConstants::SVR_EXE_FILE()));
    EXPECT_EQ(utf8(ClientConstants::UPGRADER_FILE()), folder + "/Upgrader");
    EXPECT_EQ(utf8(ClientConstants::UPGRADER_NEW_FILE()), folder + "/Upgrader.ex_");
    EXPECT_EQ(utf8(ClientConstants::SVR_SERVICE_NAME()), "QvrSvr");
    EXPECT_EQ(utf8(ClientConstants::STARTUP_LINK_FILE()),
              std::string(::getenv("XDG_CONFIG_HOME")) + "/autostart/Quorvane.desktop");
}

TEST(ClientConstants, SettingsPasswordIsTheHostNamesDigest) {
    String const password = ClientConstants::PROPERTIES_PASSWORD();
    EXPECT_EQ(password.length(), 32);
    EXPECT_EQ(utf8(password), utf8(gt::core::md5Hex(gt::net::hostName().toBinary())));
}

TEST(ClientConstants, ValuesStayOnceComputed) {
    String const before = ClientConstants::DATA_DIR();
    std::string const base = ::getenv("GT_COMMON_APPDATA");
    ::setenv("GT_COMMON_APPDATA", "/elsewhere", 1);
    EXPECT_EQ(utf8(ClientConstants::DATA_DIR()), utf8(before));
    EXPECT_EQ(utf8(ClientConstants::STATUS_FILE()), utf8(before + u"/status.json.tmp"));
    EXPECT_EQ(utf8(tunnel::DataFolder::path()), "/elsewhere/Quorvane2");
    ::setenv("GT_COMMON_APPDATA", base.c_str(), 1);
}
