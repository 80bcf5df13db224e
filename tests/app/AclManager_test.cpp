#include "app/AclManager.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::core::Array;
using gt::core::String;
using gt::test::utf8;
using tunnel::Acl;
using tunnel::AclManager;
using tunnel::AclMember;

namespace {

Acl policy(long long id, char const* label, char const* member) {
    Acl acl;
    acl.id = id;
    acl.label = gt::test::str(label);
    acl.white.add(u"10.0.0.*");
    AclMember m;
    m.name = gt::test::str(member);
    acl.members.add(m);
    return acl;
}

// A policy copied out carries its lists and members, and changing the copy
// leaves the store alone.
TEST(AclManager, PoliciesComeOutWholeAndAsCopies) {
    AclManager store;
    Array<Acl> list;
    list.add(policy(3, "office", "amy"));
    list.add(policy(4, "Office", "bob"));
    store.setAcls(list);

    Acl out;
    ASSERT_TRUE(store.find(4, &out));
    EXPECT_EQ(utf8(out.label), "Office");
    ASSERT_EQ(out.members.count(), 1);
    EXPECT_EQ(utf8(out.members[0].name), "bob");
    ASSERT_EQ(out.white.count(), 1);
    out.members[0].name = u"eve";
    out.white.add(u"1.1.1.1");
    out.members.add(AclMember());

    Acl again;
    ASSERT_TRUE(store.findByLabel(u"Office", &again));
    EXPECT_EQ(again.id, 4);
    EXPECT_EQ(utf8(again.members[0].name), "bob");
    EXPECT_EQ(again.members.count(), 1);
    EXPECT_EQ(again.white.count(), 1);

    Acl untouched = policy(9, "kept", "zed");
    EXPECT_FALSE(store.find(-1, &untouched));
    EXPECT_FALSE(store.findByLabel(u"OFFICE", &untouched));
    EXPECT_EQ(untouched.id, 9);
    EXPECT_EQ(utf8(untouched.members[0].name), "zed");
}

TEST(AclManager, ReplacementKeepsNothingOfTheArgument) {
    AclManager store;
    Array<Acl> list;
    list.add(policy(3, "office", "amy"));
    store.setAcls(list);
    list[0].members[0].name = u"changed";
    EXPECT_EQ(utf8(store.acls()[0].members[0].name), "amy");

    store.setAcls(store.acls());
    ASSERT_EQ(store.acls().count(), 1);
    EXPECT_EQ(utf8(store.acls()[0].members[0].name), "amy");

    store.setAcls(Array<Acl>());
    EXPECT_EQ(store.acls().count(), 0);
}

}  // namespace
