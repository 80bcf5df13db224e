// Keeping the device logged in: what the account service says about the
// settings file that binds the device.
#include "svr/service/AccountService.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/FakeClock.h"
#include "support/FakeHttp.h"
#include "support/RecordingLog.h"
#include "support/TempDir.h"
#include "svr/DeviceApiClient.h"
#include "svr/IContext.h"
#include "tunnel/api/EncryptedProperties.h"

using gt::core::String;
using gt::test::TempDir;

namespace {

// The services' context with the settings file in a folder of the test and
// a cloud that never answers.
class Context : public tunnel::IContext {
public:
    explicit Context(TempDir const& dir) : settings(dir.str("properties.cfg"), u"host-pw") {}

    gt::util::ILogRecorder* logRecorder() override { return &log; }
    tunnel::EncryptedProperties* properties() override { return &settings; }
    tunnel::NatManager* natManager() override { return nullptr; }
    tunnel::DeviceApiClient* apiClient() override { return &api; }
    tunnel::AccountService* accountService() override { return nullptr; }
    void exit() override {}

    gt::test::RecordingLog log;
    tunnel::EncryptedProperties settings;
    gt::test::FakeHttp http;
    tunnel::DeviceApiClient api{&http, gt::net::URL(u"http://127.0.0.1:18700/device"), String()};
};

// One login check: the timer runs out, the service looks at the file.
void check(tunnel::AccountService& service, gt::test::FakeClock& clock) {
    clock.advance(7000);
    service.process();
}

}  // namespace

// An unreadable, undecipherable or non-file properties.cfg is not a missing
// one: the reason is warned once, again only when it changes.
TEST(AccountService, ASettingsFileThatCannotBeUsedIsWarnedOncePerReason) {
    gt::test::FakeClock clock;
    TempDir dir;
    std::string const file = dir.path("properties.cfg");
    Context context(dir);
    tunnel::AccountService service(&context);

    ASSERT_EQ(0, ::mkdir(file.c_str(), 0700));
    for (int i = 0; i < 3; ++i)
        check(service, clock);
    std::string const folder =
        "W [Device] The settings file " + file + " cannot be read: Is a directory (21)";
    EXPECT_EQ(1, context.log.count(folder));
    EXPECT_EQ(3, context.log.count("[Device] Device account is not ready."));

    ASSERT_EQ(0, ::rmdir(file.c_str()));
    dir.writeFile("properties.cfg", "device.token{not enciphered}");
    check(service, clock);
    check(service, clock);
    EXPECT_EQ(1,
              context.log.count("W [Device] The settings file " + file + " is no enciphered settings file"));

    // Gone: nothing to say; the same problem coming back is said again.
    ASSERT_EQ(0, ::unlink(file.c_str()));
    check(service, clock);
    ASSERT_EQ(0, ::mkdir(file.c_str(), 0700));
    check(service, clock);
    EXPECT_EQ(2, context.log.count(folder));
    EXPECT_EQ(3, context.log.count("W [Device]"));
}
