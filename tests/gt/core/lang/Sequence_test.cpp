#include "gt/core/lang/Sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

using gt::core::nextSequence;

TEST(Sequence, CountsUpAndWrapsToOne) {
    gt::core::detail::setNextSequence(1);
    EXPECT_EQ(nextSequence(), 1);
    EXPECT_EQ(nextSequence(), 2);
    gt::core::detail::setNextSequence(2147483646);
    EXPECT_EQ(nextSequence(), 2147483646);
    EXPECT_EQ(nextSequence(), 2147483647);
    EXPECT_EQ(nextSequence(), 1);
    gt::core::detail::setNextSequence(-7);
    EXPECT_EQ(nextSequence(), 1);
}

TEST(Sequence, ConcurrentCallersNeverShareAValue) {
    gt::core::detail::setNextSequence(1);
    constexpr int kThreads = 6;
    constexpr int kEach = 5000;
    std::vector<std::vector<int>> drawn(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                drawn[t].push_back(nextSequence());
        });
    }
    for (auto& t : threads)
        t.join();
    std::vector<int> all;
    for (auto& d : drawn)
        all.insert(all.end(), d.begin(), d.end());
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
    for (size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(all[i], static_cast<int>(i) + 1);
}
