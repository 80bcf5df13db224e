#include "tunnel/forward/tcp/LocalCredit.h"

#include <gtest/gtest.h>

#include "tunnel/forward/ForwardClient.h"

using tunnel::ForwardClient;
using tunnel::LocalCredit;

TEST(LocalCredit, GrantsBackInBlocksAbove64KiB) {
    LocalCredit credit;
    ASSERT_TRUE(credit.take(0x20000));
    EXPECT_EQ(credit.written(0x8000), 0);
    EXPECT_EQ(credit.written(0x7fff), 0);  // 0xffff gathered: still waiting
    EXPECT_EQ(credit.written(1), 0x10000);
    EXPECT_EQ(credit.written(0x10000), 0x10000);
    EXPECT_EQ(credit.unwritten(), 0);
}

TEST(LocalCredit, ConsumedBytesCountTowardsTheNextGrant) {
    LocalCredit credit;
    ASSERT_TRUE(credit.take(0x10010));
    credit.consume(0x10);  // a login line: no grant of its own
    EXPECT_EQ(credit.unwritten(), 0x10000);
    EXPECT_EQ(credit.written(0xffe0), 0);
    EXPECT_EQ(credit.written(0x20), 0x10010);
    EXPECT_EQ(credit.unwritten(), 0);
}

TEST(LocalCredit, RelayIgnoringItsCreditIsCapped) {
    LocalCredit credit;
    EXPECT_TRUE(credit.take(ForwardClient::MAX_UNWRITTEN));
    EXPECT_FALSE(credit.take(1));
    LocalCredit drained;
    ASSERT_TRUE(drained.take(ForwardClient::MAX_UNWRITTEN));
    drained.written(100);
    EXPECT_TRUE(drained.take(100));  // room again once written locally
    EXPECT_FALSE(drained.take(1));
}
