#include "app/DeviceManager.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::core::Array;
using gt::core::String;
using gt::test::utf8;
using tunnel::Device;
using tunnel::DeviceManager;

namespace {

Device device(long long id, char const* label, char const* version = "") {
    Device d;
    d.id = id;
    d.label = gt::test::str(label);
    d.version = gt::test::str(version);
    return d;
}

// Three devices, two of them sharing a label and one sharing an id.
DeviceManager& filled(DeviceManager& store) {
    Array<Device> list;
    list.add(device(10, "Office", "first"));
    list.add(device(11, "home"));
    list.add(device(12, "Office", "second"));
    list.add(device(10, "late", "duplicate id"));
    store.setDevices(list);
    return store;
}

TEST(DeviceManager, LookUpsTakeTheFirstExactMatch) {
    DeviceManager store;
    filled(store);
    struct Case {
        char const* name;
        long long id;         // look up by id when label is null
        char const* label;    //
        bool found;           //
        char const* version;  // of the record copied out
    } const cases[] = {
        {"id", 11, nullptr, true, ""},
        {"first of two ids", 10, nullptr, true, "first"},
        {"missing id", 99, nullptr, false, "untouched"},
        {"no id (-1)", -1, nullptr, false, "untouched"},
        {"first of two labels", 0, "Office", true, "first"},
        {"letter case counts", 0, "office", false, "untouched"},
        {"no partial match", 0, "Offic", false, "untouched"},
        {"empty label", 0, "", false, "untouched"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Device out = device(77, "out", "untouched");
        bool const found = c.label ? store.findByLabel(gt::test::str(c.label), &out) : store.find(c.id, &out);
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(utf8(out.version), c.version);
        if (!found) {
            EXPECT_EQ(out.id, 77);
            EXPECT_EQ(utf8(out.label), "out");
        }
        // Without an out record only the answer comes back.
        EXPECT_EQ(c.label ? store.findByLabel(gt::test::str(c.label), nullptr) : store.find(c.id, nullptr),
                  c.found);
    }
}

TEST(DeviceManager, ReplacementIsWholeAndDeep) {
    DeviceManager store;
    EXPECT_EQ(store.devices().count(), 0);
    EXPECT_FALSE(store.find(-1, nullptr));

    Array<Device> list;
    list.add(device(1, "a"));
    store.setDevices(list);
    list[0].label = u"changed";
    list.add(device(2, "b"));
    ASSERT_EQ(store.devices().count(), 1);
    EXPECT_EQ(utf8(store.devices()[0].label), "a");

    filled(store);
    EXPECT_EQ(store.devices().count(), 4);
    store.setDevices(store.devices());
    EXPECT_EQ(store.devices().count(), 4);
    EXPECT_EQ(utf8(store.devices()[2].version), "second");

    Device out;
    ASSERT_TRUE(store.find(11, &out));
    out.label = u"renamed";
    EXPECT_TRUE(store.findByLabel(u"home", nullptr));

    store.setDevices(Array<Device>());
    EXPECT_EQ(store.devices().count(), 0);
    EXPECT_FALSE(store.find(11, nullptr));
}

// The entry a refilled device list selects: the one it had while it still
// exists, else this computer's, else the first.
TEST(DeviceManager, ListIndexPrefersTheCurrentEntryThenThisComputer) {
    DeviceManager store;
    filled(store);  // ids 10, 11, 12, 10
    DeviceManager empty;
    struct Case {
        char const* name;
        DeviceManager const* store;
        int current;
        long long local;
        int index;
    } const cases[] = {
        {"first fill, this computer listed second", &store, -1, 11, 1},
        {"first fill, this computer first of two ids", &store, -1, 10, 0},
        {"first fill, nothing bound", &store, -1, 0, 0},
        {"first fill, bound device not listed", &store, -1, 99, 0},
        {"first fill, id -1 is no device", &store, -1, -1, 0},
        {"a chosen entry stays", &store, 2, 11, 2},
        {"a chosen other device stays", &store, 0, 11, 0},
        {"an entry gone after a removal", &store, 4, 12, 2},
        {"an entry below the list", &store, -7, 12, 2},
        {"no devices", &empty, -1, 11, -1},
        {"no devices, a stale entry", &empty, 3, 11, -1},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.store->listIndex(c.current, c.local), c.index);
    }
}

}  // namespace
