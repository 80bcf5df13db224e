#include "gt/net/SocketEventSelector.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "gt/core/lang/Fatal.h"
#include "support/Descriptors.h"
#include "support/FakeClock.h"
#include "support/Text.h"
#include "support/Wait.h"

namespace {
using Clock = std::chrono::steady_clock;
using gt::net::ISocketEventHandler;
using gt::net::SocketEventSelector;
using gt::test::elapsedMs;
using gt::test::FakeClock;

// A handler that records what it is given into a shared log.
struct Event {
    int id;
    int bits;
};

class Recorder : public ISocketEventHandler {
public:
    Recorder(int id, std::vector<Event>* log, int wanted) : m_id(id), m_log(log), wanted(wanted) {}
    int getEvents() override {
        ++asked;
        return wanted;
    }
    void onEvent(int bits) override {
        m_log->push_back(Event{m_id, bits});
        if (action) action(bits);
    }

    int m_id;
    std::vector<Event>* m_log;
    int wanted;
    int asked = 0;
    std::function<void(int)> action;
};

// A socket pair whose first end is readable (one byte waits in it).
struct ReadablePair {
    int fds[2];
    ReadablePair() {
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        EXPECT_EQ(write(fds[1], "x", 1), 1);
    }
    ~ReadablePair() {
        close(fds[0]);
        close(fds[1]);
    }
    int handle() const { return fds[0]; }
};

// N readable sockets, each with a recording handler registered.
struct Fixture {
    std::vector<Event> log;
    std::vector<std::unique_ptr<ReadablePair>> pairs;
    std::vector<std::unique_ptr<Recorder>> handlers;
    SocketEventSelector selector;

    Fixture(int n, int tickMs) : selector(tickMs) {
        for (int i = 0; i < n; ++i) {
            pairs.emplace_back(new ReadablePair());
            handlers.emplace_back(new Recorder(i, &log, ISocketEventHandler::EVENT_READ));
            EXPECT_TRUE(selector.addEventHandler(pairs.back()->handle(), handlers.back().get()));
        }
    }
    std::vector<int> ids() const {
        std::vector<int> result;
        for (Event const& e : log)
            result.push_back(e.id);
        return result;
    }
};

TEST(SocketEventSelectorTest, RegistrationRules) {
    std::vector<Event> log;
    Recorder first(1, &log, 0);
    Recorder second(2, &log, 0);
    SocketEventSelector selector(0);
    EXPECT_FALSE(selector.addEventHandler(5, nullptr));
    EXPECT_FALSE(selector.addEventHandler(-1, &first));
    EXPECT_TRUE(selector.addEventHandler(5, &first));
    EXPECT_FALSE(selector.addEventHandler(5, &second));
    EXPECT_TRUE(selector.hasEventHandler(5));
    EXPECT_FALSE(selector.hasEventHandler(6));
    selector.removeEventHandler(6);  // unknown: ignored
    selector.poll(0);                // tick: the first handler stays registered
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].id, 1);
    EXPECT_EQ(log[0].bits, 0);
    selector.removeEventHandler(5);
    EXPECT_FALSE(selector.hasEventHandler(5));
    EXPECT_EQ(selector.handlerCount(), 0);
}

TEST(SocketEventSelectorTest, TableHoldsAtMost65536Handlers) {
    std::vector<Event> log;
    Recorder handler(0, &log, 0);
    SocketEventSelector selector(0);
    for (int handle = 0; handle < 65536; ++handle)
        ASSERT_TRUE(selector.addEventHandler(handle, &handler));
    EXPECT_FALSE(selector.addEventHandler(65536, &handler));
    selector.removeEventHandler(0);
    EXPECT_TRUE(selector.addEventHandler(65536, &handler));
}

TEST(SocketEventSelectorTest, WaitsWithNothingInterested) {
    std::vector<Event> log;
    Recorder idle(0, &log, 0);
    {
        SocketEventSelector empty(0);
        Clock::time_point start = Clock::now();
        empty.poll(0);
        empty.runOnce(-1);                  // nothing to wait for: returns at once
        EXPECT_LT(elapsedMs(start), 2000);  // instead of waiting without end
        start = Clock::now();
        empty.poll(100);  // sleeps instead of spinning, ticks nobody
        EXPECT_GE(elapsedMs(start), 95);
    }
    SocketEventSelector selector(0);
    ASSERT_TRUE(selector.addEventHandler(3, &idle));
    Clock::time_point start = Clock::now();
    selector.runOnce(0);
    selector.runOnce(-1);
    EXPECT_LT(elapsedMs(start), 2000);  // instead of waiting without end
    EXPECT_EQ(idle.asked, 2);
    start = Clock::now();
    selector.runOnce(50);
    EXPECT_GE(elapsedMs(start), 45);
    EXPECT_TRUE(log.empty());
}

TEST(SocketEventSelectorTest, EventsGoOutLastCollectedFirstOncePerTurn) {
    Fixture f(8, 60000);
    f.selector.runOnce(0);
    ASSERT_EQ(f.log.size(), 8u);
    for (auto const& handler : f.handlers)
        EXPECT_EQ(handler->asked, 1);
    for (Event const& e : f.log)
        EXPECT_EQ(e.bits, ISocketEventHandler::EVENT_READ);
    std::vector<int> readyOrder = f.ids();

    // The tick queues in the same table order and also goes out last first.
    f.log.clear();
    for (auto& handler : f.handlers)
        handler->wanted = 0;
    SocketEventSelector ticking(0);
    for (size_t i = 0; i < f.pairs.size(); ++i)
        ticking.addEventHandler(f.pairs[i]->handle(), f.handlers[i].get());
    ticking.poll(0);
    EXPECT_EQ(f.ids(), readyOrder);
}

TEST(SocketEventSelectorTest, HandlerRemovedDuringDispatchGetsNothing) {
    Fixture f(6, 60000);
    f.selector.runOnce(0);
    std::vector<int> order = f.ids();
    ASSERT_EQ(order.size(), 6u);

    // The first one served removes itself and the one that would come last.
    f.log.clear();
    int first = order[0];
    int last = order[5];
    f.handlers[first]->action = [&](int) {
        f.selector.removeEventHandler(f.pairs[first]->handle());
        f.selector.removeEventHandler(f.pairs[last]->handle());
    };
    f.selector.runOnce(0);
    std::vector<int> expected(order.begin(), order.end() - 1);
    EXPECT_EQ(f.ids(), expected);
    EXPECT_FALSE(f.selector.hasEventHandler(f.pairs[first]->handle()));

    // A handler added during dispatch waits for the next turn.
    f.log.clear();
    ReadablePair extra;
    Recorder newcomer(99, &f.log, ISocketEventHandler::EVENT_READ);
    f.handlers[order[1]]->action = [&](int) { f.selector.addEventHandler(extra.handle(), &newcomer); };
    f.selector.runOnce(0);
    for (Event const& e : f.log)
        EXPECT_NE(e.id, 99);
    EXPECT_EQ(newcomer.asked, 0);
}

TEST(SocketEventSelectorTest, HandleRegisteredAgainDuringDispatchGetsNoStaleEvent) {
    Fixture f(3, 60000);
    f.selector.runOnce(0);
    std::vector<int> order = f.ids();
    ASSERT_EQ(order.size(), 3u);

    // The first one served replaces the last one's registration on the same
    // handle: the event collected for the old registration must not reach
    // the new handler (nor the old one).
    f.log.clear();
    int victim = order[2];
    Recorder replacement(77, &f.log, ISocketEventHandler::EVENT_READ);
    f.handlers[order[0]]->action = [&](int) {
        f.selector.removeEventHandler(f.pairs[victim]->handle());
        f.selector.addEventHandler(f.pairs[victim]->handle(), &replacement);
    };
    f.selector.runOnce(0);
    EXPECT_EQ(f.ids(), (std::vector<int>{order[0], order[1]}));
    f.handlers[order[0]]->action = nullptr;

    // From the next turn on the new registration is served.
    f.log.clear();
    f.selector.runOnce(0);
    EXPECT_EQ(f.log.size(), 3u);
    EXPECT_EQ(replacement.asked, 1);
}

TEST(SocketEventSelectorTest, HandlerRemovedDuringTickGetsNoTick) {
    Fixture f(4, 0);
    for (auto& handler : f.handlers)
        handler->wanted = 0;
    f.selector.poll(0);
    std::vector<int> order = f.ids();
    ASSERT_EQ(order.size(), 4u);
    f.log.clear();
    f.handlers[order[0]]->action = [&](int) { f.selector.removeEventHandler(f.pairs[order[2]]->handle()); };
    f.selector.poll(0);
    EXPECT_EQ(f.ids(), (std::vector<int>{order[0], order[1], order[3]}));
}

TEST(SocketEventSelectorTest, ReentryIsRefusedAndItsTickLost) {
    FakeClock clock;
    Fixture f(1, 1000);
    Recorder& handler = *f.handlers[0];
    int innerMs = -1;
    handler.action = [&](int bits) {
        if (bits == 0) return;
        clock.advance(1000);  // the tick falls due while the handler runs
        Clock::time_point start = Clock::now();
        f.selector.poll(5000);
        f.selector.runOnce(5000);
        innerMs = elapsedMs(start);
    };
    f.selector.poll(0);
    EXPECT_GE(innerMs, 0);
    EXPECT_LT(innerMs, 2000);     // the inner calls neither waited nor slept (5 s each)
    ASSERT_EQ(f.log.size(), 1u);  // no nested event and no tick
    EXPECT_EQ(f.log[0].bits, ISocketEventHandler::EVENT_READ);
    handler.wanted = 0;
    handler.action = nullptr;
    f.log.clear();
    f.selector.poll(0);
    EXPECT_TRUE(f.log.empty());  // the timer was re-armed by the lost tick
}

TEST(SocketEventSelectorTest, TickKeepsItsPhaseAndCapsTheWait) {
    FakeClock clock(0);
    std::vector<Event> log;
    Recorder handler(0, &log, ISocketEventHandler::EVENT_READ);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);  // never readable
    SocketEventSelector selector(100);
    ASSERT_TRUE(selector.addEventHandler(fds[0], &handler));

    selector.poll(0);
    EXPECT_TRUE(log.empty());
    clock.set(350);  // three and a half periods later
    selector.poll(0);
    ASSERT_EQ(log.size(), 1u);  // missed periods are not made up
    EXPECT_EQ(log[0].bits, 0);
    // The next tick is due at 400: a wait without limit is cut to 50 ms.
    Clock::time_point start = Clock::now();
    selector.poll(-1);
    int waited = elapsedMs(start);
    EXPECT_GE(waited, 45);
    EXPECT_LT(waited, 2000);    // instead of waiting without end
    EXPECT_EQ(log.size(), 1u);  // the fake clock stood still: no tick yet
    clock.set(399);
    selector.poll(0);
    EXPECT_EQ(log.size(), 1u);
    clock.set(400);
    selector.poll(0);
    EXPECT_EQ(log.size(), 2u);
    close(fds[0]);
    close(fds[1]);
}

TEST(SocketEventSelectorTest, IntervalZeroTicksEveryPoll) {
    std::vector<Event> log;
    Recorder handler(0, &log, 0);
    SocketEventSelector selector(-5);
    ASSERT_TRUE(selector.addEventHandler(7, &handler));
    for (int i = 0; i < 3; ++i)
        selector.poll(0);
    EXPECT_EQ(log.size(), 3u);
}

TEST(SocketEventSelectorTest, HandlesAbove1024AreServed) {
    bool tooLow = false;
    ASSERT_NO_FATAL_FAILURE(gt::test::raiseDescriptorLimit(1600, &tooLow));
    if (tooLow) GTEST_SKIP() << "descriptor limit too low";
    std::vector<Event> log;
    ReadablePair low;
    ReadablePair high;
    ASSERT_EQ(dup2(high.fds[0], 1500), 1500);
    Recorder lowHandler(1, &log, ISocketEventHandler::EVENT_READ);
    Recorder highHandler(2, &log, ISocketEventHandler::EVENT_READ | ISocketEventHandler::EVENT_WRITE);
    SocketEventSelector selector(0);
    ASSERT_TRUE(selector.addEventHandler(low.handle(), &lowHandler));
    ASSERT_TRUE(selector.addEventHandler(1500, &highHandler));
    selector.runOnce(0);
    ASSERT_EQ(log.size(), 2u);
    for (Event const& e : log) {
        EXPECT_EQ(e.bits, e.id == 2 ? 3 : 1) << e.id;
    }
    close(1500);
}

// A handler that reports its interest: asked only when it registers, after
// its own events, and when it says its interest changed.
class Reporter : public Recorder {
public:
    using Recorder::Recorder;
    bool reportsInterest() const override { return true; }
};

// A socket pair that is never readable (nothing is ever written into it).
struct QuietPair {
    int fds[2];
    QuietPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
    ~QuietPair() {
        close(fds[0]);
        close(fds[1]);
    }
};

TEST(SocketEventSelectorTest, IdleReportingHandlersAreNotAskedEveryTurn) {
    std::vector<Event> log;
    SocketEventSelector selector(60000);
    std::vector<std::unique_ptr<QuietPair>> quiet;
    std::vector<std::unique_ptr<Reporter>> idle;
    for (int i = 0; i < 200; ++i) {
        quiet.emplace_back(new QuietPair());
        idle.emplace_back(new Reporter(i, &log, ISocketEventHandler::EVENT_READ));
        ASSERT_TRUE(selector.addEventHandler(quiet.back()->fds[0], idle.back().get()));
    }
    ReadablePair busy;
    Reporter active(1000, &log, ISocketEventHandler::EVENT_READ);
    ASSERT_TRUE(selector.addEventHandler(busy.handle(), &active));
    for (int turn = 0; turn < 50; ++turn)
        selector.runOnce(0);
    // The readable one is served every turn and asked after each event;
    // the idle ones were asked once, when they registered.
    EXPECT_EQ(log.size(), 50u);
    EXPECT_EQ(active.asked, 50);
    for (auto const& handler : idle)
        ASSERT_EQ(handler->asked, 1);

    // Told of a change, a handler is asked again once; one whose answer
    // depends on time asks to be asked every turn.
    selector.interestChanged(quiet[7]->fds[0]);
    idle[9]->wanted = ISocketEventHandler::EVENT_READ | ISocketEventHandler::EVENT_ASK_AGAIN;
    selector.interestChanged(quiet[9]->fds[0]);
    for (int turn = 0; turn < 5; ++turn)
        selector.runOnce(0);
    EXPECT_EQ(idle[7]->asked, 2);
    EXPECT_EQ(idle[9]->asked, 6);
    EXPECT_EQ(idle[8]->asked, 1);

    // A standing interest is still watched: the idle one that becomes
    // readable is served without being asked first.
    ASSERT_EQ(write(quiet[3]->fds[1], "x", 1), 1);
    log.clear();
    selector.runOnce(0);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].id == 3 || log[1].id == 3);
}

TEST(SocketEventSelectorTest, InterestDroppedToNothingStopsEvents) {
    std::vector<Event> log;
    SocketEventSelector selector(60000);
    ReadablePair pair;
    Reporter handler(1, &log, ISocketEventHandler::EVENT_READ);
    ASSERT_TRUE(selector.addEventHandler(pair.handle(), &handler));
    selector.runOnce(0);
    ASSERT_EQ(log.size(), 1u);
    handler.wanted = 0;
    selector.runOnce(0);  // asked after its event: wants nothing from now on
    log.clear();
    for (int turn = 0; turn < 3; ++turn)
        selector.runOnce(0);
    EXPECT_TRUE(log.empty());
    // Its peer going away reports nothing either while it wants nothing.
    close(pair.fds[1]);
    pair.fds[1] = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    selector.runOnce(0);
    EXPECT_TRUE(log.empty());
}

TEST(SocketEventSelectorTest, PostedEventsGoOutWithinTheTurn) {
    std::vector<Event> log;
    SocketEventSelector selector(60000);
    ReadablePair first;
    QuietPair second;
    QuietPair third;
    Reporter a(1, &log, ISocketEventHandler::EVENT_READ);
    Reporter b(2, &log, 0);
    Reporter c(3, &log, 0);
    ASSERT_TRUE(selector.addEventHandler(first.handle(), &a));
    ASSERT_TRUE(selector.addEventHandler(second.fds[0], &b));
    ASSERT_TRUE(selector.addEventHandler(third.fds[0], &c));

    // Posted from a handler: after the events of the turn, in the same turn,
    // and twice posted is one event with the bits merged. A handler posted to
    // and then removed gets nothing.
    a.action = [&](int bits) {
        if (bits != ISocketEventHandler::EVENT_READ) return;
        selector.post(second.fds[0], ISocketEventHandler::EVENT_WRITE);
        selector.post(second.fds[0], ISocketEventHandler::EVENT_READ);
        selector.post(third.fds[0], ISocketEventHandler::EVENT_WRITE);
        selector.removeEventHandler(third.fds[0]);
    };
    // A chain of posts goes on within the turn too.
    b.action = [&](int) { selector.post(first.handle(), ISocketEventHandler::EVENT_EXCEPT); };
    selector.runOnce(0);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].id, 1);
    EXPECT_EQ(log[1].id, 2);
    EXPECT_EQ(log[1].bits, ISocketEventHandler::EVENT_READ | ISocketEventHandler::EVENT_WRITE);
    EXPECT_EQ(log[2].id, 1);
    EXPECT_EQ(log[2].bits, ISocketEventHandler::EVENT_EXCEPT);

    // Posted outside a turn: the next turn delivers it without waiting.
    a.action = nullptr;
    b.action = nullptr;
    a.wanted = 0;
    selector.runOnce(0);  // a is asked again after its events: wants nothing now
    log.clear();
    selector.post(second.fds[0], ISocketEventHandler::EVENT_WRITE);
    Clock::time_point start = Clock::now();
    selector.runOnce(5000);
    EXPECT_LT(elapsedMs(start), 2000);  // instead of the 5 s wait
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].id, 2);
    selector.post(12345, ISocketEventHandler::EVENT_READ);  // unknown: ignored
}

void onAlarm(int) {}

TEST(SocketEventSelectorTest, InterruptedWaitDeliversNothing) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    std::vector<Event> log;
    Recorder handler(0, &log, ISocketEventHandler::EVENT_READ);
    SocketEventSelector selector(0);
    ASSERT_TRUE(selector.addEventHandler(fds[0], &handler));

    struct sigaction action = {};
    struct sigaction previous;
    action.sa_handler = &onAlarm;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    // Bound the test: if the signal did not end the wait, data does after 3 s.
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done) (void)!write(fds[1], "x", 1);
    });
    itimerval timer = {};
    timer.it_value.tv_usec = 50000;
    ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);
    Clock::time_point start = Clock::now();
    selector.runOnce(-1);
    int waited = elapsedMs(start);
    done = true;
    watchdog.join();
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_LT(waited, 2000);  // instead of the watchdog's 3 s
    EXPECT_TRUE(log.empty());
    close(fds[0]);
    close(fds[1]);
}

// A selector set up on one thread and then run on another belongs to the
// thread that runs it: that thread adds and removes handlers freely.
TEST(SocketEventSelectorThreadTest, TheThreadOfTheFirstTurnOwnsTheTable) {
    std::vector<Event> log;
    Recorder first(0, &log, 0);
    Recorder second(1, &log, 0);
    ReadablePair a, b;
    SocketEventSelector selector(0);
    ASSERT_TRUE(selector.addEventHandler(a.handle(), &first));  // set up before the loop starts
    bool added = false;
    std::thread loop([&] {
        selector.runOnce(0);
        added = selector.addEventHandler(b.handle(), &second);
        selector.removeEventHandler(a.handle());
        selector.removeEventHandler(b.handle());
    });
    loop.join();
    EXPECT_TRUE(added);
    EXPECT_EQ(0, selector.handlerCount());
}

// A blocking client whose calls come from different threads, one at a time,
// hands its selector to each caller: the table then belongs to that thread.
TEST(SocketEventSelectorThreadTest, AHandedOverSelectorBelongsToItsNewThread) {
    std::vector<Event> log;
    Recorder handler(0, &log, 0);
    ReadablePair a, b;
    SocketEventSelector selector(0);
    ASSERT_TRUE(selector.addEventHandler(a.handle(), &handler));
    selector.runOnce(0);
    for (int call = 0; call < 3; ++call) {
        SCOPED_TRACE(call);
        bool added = false;
        std::thread caller([&] {
            selector.moveToCurrentThread();
            selector.runOnce(0);
            added = selector.addEventHandler(b.handle(), &handler);
            selector.removeEventHandler(b.handle());
        });
        caller.join();
        EXPECT_TRUE(added);
    }
    selector.moveToCurrentThread();
    selector.removeEventHandler(a.handle());
    EXPECT_EQ(0, selector.handlerCount());
}

void reportToStandardError(gt::core::String const& message, gt::core::String const&, int) {
    fprintf(stderr, "fatal:%s\n", gt::test::utf8(message).c_str());
}

// A handler added or removed on a thread other than the selector's would
// corrupt the table in the field; it ends the process at once instead.
TEST(SocketEventSelectorThreadDeathTest, TableChangesFromAnotherThreadAreFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        char const* name;
        bool started;  // the selector has run a turn on its thread
        bool add;      // else remove
    };
    Case const cases[] = {
        {"add before the first turn", false, true},
        {"add after the first turn", true, true},
        {"remove after the first turn", true, false},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                gt::core::setErrorHandler(reportToStandardError, nullptr);
                std::vector<Event> log;
                Recorder handler(0, &log, 0);
                ReadablePair pair;
                SocketEventSelector selector(0);
                ASSERT_TRUE(selector.addEventHandler(pair.handle(), &handler));
                if (c.started) selector.runOnce(0);
                std::thread other([&] {
                    if (c.add) {
                        ReadablePair more;
                        selector.addEventHandler(more.handle(), &handler);
                    } else {
                        selector.removeEventHandler(pair.handle());
                    }
                });
                other.join();
                fprintf(stderr, "survived\n");
                exit(0);
            },
            ::testing::ExitedWithCode(255), "fatal:_onOwnerThread\\(\\)");
    }
}

}  // namespace
