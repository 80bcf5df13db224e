#include "gt/core/lang/CriticalSection.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "gt/core/lang/LockGuard.h"

using gt::core::CriticalSection;
using gt::core::LockGuard;

namespace {

bool tryLockFromOtherThread(CriticalSection& cs) {
    bool taken = false;
    std::thread other([&] {
        taken = cs.tryLock();
        if (taken) cs.unlock();
    });
    other.join();
    return taken;
}

}  // namespace

TEST(CriticalSection, RecursiveLockNeedsAsManyUnlocks) {
    CriticalSection cs;
    cs.lock();
    cs.lock();
    EXPECT_TRUE(cs.tryLock());
    EXPECT_TRUE(cs.isLocked());
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(tryLockFromOtherThread(cs)) << "after " << i << " unlocks";
        cs.unlock();
    }
    EXPECT_FALSE(cs.isLocked());
    EXPECT_TRUE(tryLockFromOtherThread(cs));
}

TEST(CriticalSection, UnlockOfUnheldLockDoesNothing) {
    CriticalSection cs;
    cs.unlock();
    EXPECT_FALSE(cs.isLocked());
    EXPECT_TRUE(cs.tryLock());
    cs.unlock();
    cs.unlock();  // one too many
    EXPECT_FALSE(cs.isLocked());
    EXPECT_TRUE(tryLockFromOtherThread(cs));
}

TEST(CriticalSection, UnlockFromOtherThreadDoesNotReleaseTheOwner) {
    CriticalSection cs;
    cs.lock();
    std::thread intruder([&] { cs.unlock(); });
    intruder.join();
    EXPECT_TRUE(cs.isLocked());
    EXPECT_FALSE(tryLockFromOtherThread(cs));
    cs.unlock();
    EXPECT_TRUE(tryLockFromOtherThread(cs));
}

TEST(LockGuard, HoldsForItsScopeAndAcceptsNull) {
    CriticalSection cs;
    {
        LockGuard guard(&cs);
        EXPECT_TRUE(cs.isLocked());
        EXPECT_FALSE(tryLockFromOtherThread(cs));
    }
    EXPECT_FALSE(cs.isLocked());
    { LockGuard nothing(nullptr); }
}

TEST(CriticalSection, StressKeepsCountsExact) {
    CriticalSection cs;
    long long total = 0;
    constexpr int kThreads = 6;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                if ((i + t) % 3 == 0) {
                    while (!cs.tryLock())
                        std::this_thread::yield();
                } else {
                    cs.lock();
                }
                LockGuard nested(&cs);
                ++total;
                cs.unlock();
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(total, static_cast<long long>(kThreads) * kRounds);
    EXPECT_FALSE(cs.isLocked());
}
