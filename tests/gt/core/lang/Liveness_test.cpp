#include "gt/core/lang/Liveness.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

using gt::core::Liveness;

namespace {

// An object whose owner may destroy it, or replace its callback, from inside
// that callback.
struct Notifier {
    std::function<void(std::string const&)> onEvent;
    Liveness liveness;

    bool fire(std::string const& what) { return liveness.call(onEvent, what); }
};

}  // namespace

TEST(Liveness, CallReportsWhetherTheOwnerSurvived) {
    struct Case {
        char const* name;
        bool destroyInside;
        bool expected;
    };
    Case const cases[] = {
        {"kept", false, true},
        {"destroyed inside", true, false},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        auto* notifier = new Notifier;
        std::string seen;
        notifier->onEvent = [&, c](std::string const& what) {
            seen = what;
            if (c.destroyInside) delete notifier;
        };
        EXPECT_EQ(c.expected, notifier->fire("up"));
        EXPECT_EQ("up", seen);
        if (c.expected) {
            EXPECT_FALSE(notifier->liveness.isCalling());
            delete notifier;
        }
    }
}

TEST(Liveness, EmptyFunctionIsSkippedAndCountsAsSurvived) {
    Notifier notifier;
    EXPECT_TRUE(notifier.fire("nobody listens"));
}

// The running function is a copy: its captures stay valid after the owner
// drops or replaces the original, and after the owner itself is gone.
TEST(Liveness, CallRunsACopyThatOutlivesTheOriginal) {
    auto* notifier = new Notifier;
    auto text = std::make_shared<std::string>("captured");
    std::string seen;
    notifier->onEvent = [notifier, text, &seen](std::string const&) {
        notifier->onEvent = nullptr;  // destroys the original and its captures
        delete notifier;
        seen = *text;  // still held by the copy
    };
    text.reset();
    EXPECT_FALSE(notifier->fire(""));
    EXPECT_EQ("captured", seen);
}

TEST(Liveness, NestedCallsAllLearnOfTheDestruction) {
    auto* notifier = new Notifier;
    bool outerAlive = true;
    int depth = 0;
    notifier->onEvent = [&](std::string const&) {
        if (++depth == 1) {
            outerAlive = notifier->fire("inner");  // the inner call destroys it
            EXPECT_FALSE(outerAlive);
        } else {
            delete notifier;
        }
    };
    EXPECT_FALSE(notifier->fire("outer"));
    EXPECT_EQ(2, depth);
}

TEST(Liveness, NestedCallsUnwindWhenTheOwnerSurvives) {
    Notifier notifier;
    int depth = 0;
    notifier.onEvent = [&](std::string const&) {
        if (++depth < 3) {
            EXPECT_TRUE(notifier.fire("again"));
        }
        EXPECT_TRUE(notifier.liveness.isCalling());
    };
    EXPECT_TRUE(notifier.fire("first"));
    EXPECT_EQ(3, depth);
    EXPECT_FALSE(notifier.liveness.isCalling());
}

TEST(Liveness, ScopeWatchesAStretchOfCode) {
    auto* notifier = new Notifier;
    Liveness::Scope scope(notifier->liveness);
    EXPECT_TRUE(scope.alive());
    EXPECT_TRUE(notifier->liveness.isCalling());
    delete notifier;
    EXPECT_FALSE(scope.alive());
}

TEST(Liveness, ACopyDoesNotShareCallsInProgress) {
    Notifier original;
    Liveness::Scope scope(original.liveness);
    {
        Notifier copy(original);
        EXPECT_FALSE(copy.liveness.isCalling());
    }
    EXPECT_TRUE(scope.alive());  // the copy's end is not the original's
}
