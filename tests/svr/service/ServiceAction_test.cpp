// The service program's own service commands against our service manager in
// the test's registry, with the test service program standing in.
#include "svr/service/ServiceAction.h"

#include "support/ServiceSupport.h"

namespace {

using gt::test::waitFor;
using tunnel::ServiceAction;
namespace svc = gt::svc;

class ServiceActionTest : public gt::test::SvcTest {
protected:
    static int state() {
        svc::ServiceStatus status;
        if (svc::ServiceManager().queryStatus(u"SvcTest", &status) != svc::SERVICE_OK) return -1;
        return status.state;
    }
};

// "--stop" and "--stop-uninstall" on a service that was asked to stop
// already (by another stop that gave up waiting): the service still runs,
// so the stop waits for its end, and the uninstall then removes it instead
// of only marking it for when it stops.
TEST_F(ServiceActionTest, AStoppingServiceIsWaitedForBeforeItIsRemoved) {
    ServiceAction action(u"SvcTest", u"Svc Test", commandLine("slow-stop"));
    ASSERT_TRUE(action.install());
    ASSERT_TRUE(action.start());
    ASSERT_EQ(svc::ServiceManager().control(u"SvcTest", svc::CONTROL_STOP, nullptr), svc::SERVICE_OK);
    ASSERT_TRUE(waitFor([] { return state() == svc::SERVICE_STOP_PENDING; }, 10000));

    EXPECT_TRUE(action.stop());
    EXPECT_EQ(state(), svc::SERVICE_STOPPED);
    EXPECT_TRUE(action.uninstall());
    EXPECT_EQ(state(), -1);
}

}  // namespace
