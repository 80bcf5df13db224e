// This computer's binding in the user settings, as the pages read it and
// as the service program finds it in the file.
#include "app/DeviceBinding.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>

#include "support/TempDir.h"
#include "support/Text.h"

using gt::core::String;
using gt::test::str;
using gt::test::TempDir;
using gt::test::utf8;
using tunnel::DeviceBinding;
using tunnel::EncryptedProperties;

namespace {

constexpr char16_t kPassword[] = u"host-password";

}  // namespace

TEST(DeviceBinding, ReadsTheIdAndWhetherBothEntriesAreThere) {
    struct Case {
        char const* name;
        char const* id;  // null: no entry
        char const* token;
        bool bound;
        long long deviceId;
    } const cases[] = {
        {"bound", "10", "demo-device-token", true, 10},
        {"no entries", nullptr, nullptr, false, 0},
        {"no token", "10", nullptr, false, 10},
        {"empty token", "10", "", false, 10},
        {"no id", nullptr, "demo-device-token", false, 0},
        {"id with trailing text", "12abc", "t", true, 12},
        {"id that is no number", "abc", "t", true, 0},
        {"id beyond 64 bits", "99999999999999999999", "t", true, LLONG_MAX},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        {
            EncryptedProperties file(dir.str("properties.cfg"), kPassword);
            gt::core::Dictionary<String> entries;
            entries.set(u"user.name", u"someone");
            if (c.id) entries.set(u"device.id", str(c.id));
            if (c.token) entries.set(u"device.token", str(c.token));
            ASSERT_TRUE(file.setAll(entries));
        }
        EncryptedProperties settings(dir.str("properties.cfg"), kPassword);
        EXPECT_EQ(DeviceBinding::isBound(settings), c.bound);
        EXPECT_EQ(DeviceBinding::deviceId(settings), c.deviceId);
    }
}

TEST(DeviceBinding, SaveWritesBothEntriesForTheServiceAndKeepsTheRest) {
    TempDir dir;
    EncryptedProperties settings(dir.str("properties.cfg"), kPassword);
    ASSERT_TRUE(settings.set(u"net.local_ip", u"10.0.0.5"));
    String reason = u"stale";
    ASSERT_TRUE(DeviceBinding::save(&settings, u"42", u"token-42", &reason));
    EXPECT_TRUE(reason.isEmpty());
    {
        // Another process opening the file, as the service does.
        EncryptedProperties service(dir.str("properties.cfg"), kPassword);
        EXPECT_EQ(utf8(service.get(u"device.id")), "42");
        EXPECT_EQ(utf8(service.get(u"device.token")), "token-42");
        EXPECT_EQ(utf8(service.get(u"net.local_ip")), "10.0.0.5");
    }
    // Empty texts unbind, in the file too.
    ASSERT_TRUE(DeviceBinding::save(&settings, String(), String(), nullptr));
    EXPECT_FALSE(DeviceBinding::isBound(settings));
    EncryptedProperties service(dir.str("properties.cfg"), kPassword);
    EXPECT_FALSE(DeviceBinding::isBound(service));
    EXPECT_EQ(utf8(service.get(u"net.local_ip")), "10.0.0.5");
}

// What did not reach the file never counts as the binding: the store is
// read back from the file, and the reason is kept for the warning.
TEST(DeviceBinding, AFailedSaveLeavesWhatTheFileHolds) {
    struct Case {
        char const* name;
        bool blockFile;     // a folder where the file should be: the write fails
        char const* token;  // a token the file's format cannot hold is refused
        char const* reason;
        bool boundAfter;
        long long idAfter;
    } const cases[] = {
        {"write fails", true, "token-11", "Is a directory", false, 0},
        {"token refused", false, "bad}token", "device.token", true, 10},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.blockFile) ::mkdir(dir.path("properties.cfg").c_str(), 0700);
        EncryptedProperties settings(dir.str("properties.cfg"), kPassword);
        if (!c.blockFile) {
            ASSERT_TRUE(DeviceBinding::save(&settings, u"10", u"token-10", nullptr));
        }
        String reason;
        EXPECT_FALSE(DeviceBinding::save(&settings, u"11", str(c.token), &reason));
        EXPECT_NE(utf8(reason).find(c.reason), std::string::npos) << utf8(reason);
        EXPECT_EQ(DeviceBinding::isBound(settings), c.boundAfter);
        EXPECT_EQ(DeviceBinding::deviceId(settings), c.idAfter);
    }
}
