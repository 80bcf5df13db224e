#include "tunnel/nat/Nat.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "gt/util/ThreadSafeLogRecorder.h"
#include "support/BlockingPeer.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/RecordingLog.h"
#include "support/TestRelay.h"
#include "support/Text.h"
#include "support/Wait.h"
#include "tunnel/nat/NatManager.h"

using gt::core::Array;
using gt::core::String;
using gt::test::elapsedMs;
using gt::test::RecordingLog;
using gt::test::TestRelay;
using gt::test::waitFor;

namespace {

Array<String> servers(std::initializer_list<unsigned short> ports) {
    Array<String> out;
    for (unsigned short port : ports)
        out.add(String::fromUtf8(("127.0.0.1:" + std::to_string(port)).c_str()));
    return out;
}

class NatTest : public ::testing::Test {
protected:
    NatTest() : log(&recorder) {}

    std::unique_ptr<tunnel::Nat> makeWorker() {
        std::unique_ptr<tunnel::Nat> worker(new tunnel::Nat(7, &log, gt::net::SocketAddress()));
        worker->setAccessKey(u"k");
        worker->setTarget(u"tcp", u"127.0.0.1:1");
        return worker;
    }

    RecordingLog recorder;
    gt::util::ThreadSafeLogRecorder log;
};

TEST_F(NatTest, WaitsForSettingsQuietlyThenConnectsAtOnce) {
    TestRelay relay;
    std::unique_ptr<tunnel::Nat> worker = makeWorker();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(recorder.count("[Tunnel] Waiting config... "), 1);
    EXPECT_EQ(worker->ping(), -1);
    EXPECT_EQ(worker->channels(), 0);

    auto const start = std::chrono::steady_clock::now();
    worker->setPrimaryServers(servers({relay.port()}));
    EXPECT_TRUE(waitFor([&] { return recorder.count("[Tunnel] Tunnel opened.") == 1; }, 10000));
    EXPECT_LT(elapsedMs(start), 2500);  // instead of the 3 s retry interval
    EXPECT_EQ(recorder.count("[Tunnel] Tunnel opening... (tcp://127.0.0.1:1 @ tunnel://127.0.0.1:" +
                             std::to_string(relay.port()) + ")"),
              1);
    EXPECT_TRUE(waitFor([&] { return worker->ping() >= 0; }, 10000));

    // New server lists or a new key wait for the next connection.
    worker->setAccessKey(u"other");
    worker->setStandbyServers(servers({relay.port()}));
    worker->setPrimaryServers(servers({relay.port()}));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(recorder.count("[Tunnel] Tunnel closed."), 0);

    worker->stop(true);
    EXPECT_EQ(worker->ping(), -1);
    EXPECT_EQ(worker->channels(), 0);
    EXPECT_EQ(worker->error(), String());
    EXPECT_EQ(recorder.count("[Tunnel] Tunnel closed."), 1);
}

TEST_F(NatTest, NoAnsweringServerWaitsTheRetryInterval) {
    unsigned short const dead = gt::test::unusedPort();
    std::unique_ptr<tunnel::Nat> worker = makeWorker();
    worker->setPrimaryServers(servers({dead}));
    worker->setStandbyServers(servers({dead}));
    // The first round of probes fails; the next one waits the retry interval.
    EXPECT_TRUE(
        waitFor([&] { return recorder.count("[Tunnel] All the primary/standby servers are invalid. ") >= 1; },
                10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(recorder.count("[Tunnel] All the primary/standby servers are invalid. "), 1);
    // (The worker may have looked once before the lists were set.)
    EXPECT_LE(recorder.count("[Tunnel] Waiting config"), 1);
}

TEST_F(NatTest, StandbyServersAreUsedWhenThePrimaryOnesFail) {
    TestRelay standby;
    std::unique_ptr<tunnel::Nat> worker = makeWorker();
    worker->setStandbyServers(servers({standby.port()}));
    worker->setPrimaryServers(servers({gt::test::unusedPort()}));
    EXPECT_TRUE(waitFor([&] { return recorder.count("[Tunnel] Tunnel opened.") == 1; }, 10000));
    EXPECT_EQ(recorder.count("[Tunnel] All the primary servers are invalid. Try to use the standby servers."),
              1);
    EXPECT_EQ(recorder.count("tunnel://127.0.0.1:" + std::to_string(standby.port())), 2);
}

TEST_F(NatTest, TunnelErrorIsPublishedAndClearedByTheNextOpen) {
    TestRelay relay;
    ASSERT_EQ(relay.command("reply tunnel_create error 3 " + gt::test::hexOf("expired")), "ok");
    std::unique_ptr<tunnel::Nat> worker = makeWorker();
    worker->setPrimaryServers(servers({relay.port()}));
    EXPECT_TRUE(waitFor([&] { return worker->error() == String(u"expired"); }, 10000));
    ASSERT_EQ(relay.command("reply tunnel_create ok"), "ok");
    EXPECT_TRUE(waitFor([&] { return worker->error().isEmpty(); }, 10000));
    EXPECT_EQ(recorder.count("[Tunnel] Failed to open tunnel: 3-expired"), 1);
}

TEST_F(NatTest, StoppingInterruptsSleepsAndProbes) {
    struct Case {
        char const* name;
        char const* pingReply;
    } const cases[] = {{"retry wait", "ok"}, {"silent probe", "never"}};
    for (Case const& c : cases) {
        TestRelay relay;
        ASSERT_EQ(relay.command(std::string("reply ping ") + c.pingReply), "ok");
        ASSERT_EQ(relay.command("reply tunnel_create error 1 -"), "ok");
        std::unique_ptr<tunnel::Nat> worker = makeWorker();
        worker->setPrimaryServers(servers({relay.port()}));
        worker->setStandbyServers(servers({relay.port()}));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        auto const start = std::chrono::steady_clock::now();
        worker.reset();
        EXPECT_LT(elapsedMs(start), 1500) << c.name;  // instead of the 3 s retry wait or 5 s probe
    }
}

TEST(NatManagerTest, WorkersById) {
    RecordingLog recorder;
    gt::util::ThreadSafeLogRecorder log(&recorder);
    tunnel::NatManager manager(&log, gt::net::SocketAddress());
    tunnel::Nat* first = manager.create(5);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id(), 5);
    EXPECT_EQ(manager.create(5), nullptr);
    EXPECT_EQ(manager.get(5), first);
    EXPECT_EQ(manager.get(6), nullptr);
    manager.remove(6);
    EXPECT_EQ(manager.count(), 1);
    manager.create(2);
    manager.create(9);
    long long previous = -1;
    for (auto const& entry : manager) {
        EXPECT_GT(entry.first, previous);
        previous = entry.first;
    }
    manager.remove(5);
    EXPECT_EQ(manager.get(5), nullptr);
    EXPECT_EQ(manager.count(), 2);
}

TEST(NatManagerTest, DestroyingStopsAllWorkersTogether) {
    RecordingLog recorder;
    gt::util::ThreadSafeLogRecorder log(&recorder);
    TestRelay relay;
    ASSERT_EQ(relay.command("reply ping never"), "ok");
    std::unique_ptr<tunnel::NatManager> manager(new tunnel::NatManager(&log, gt::net::SocketAddress()));
    for (long long id = 1; id <= 4; ++id) {
        tunnel::Nat* worker = manager->create(id);
        worker->setPrimaryServers(servers({relay.port()}));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto const start = std::chrono::steady_clock::now();
    manager.reset();
    EXPECT_LT(elapsedMs(start), 2500);  // one probe alone lasts 5000 ms
}

}  // namespace
