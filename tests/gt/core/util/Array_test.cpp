#include "gt/core/util/Array.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gt/core/lang/String.h"

using gt::core::Array;
using gt::core::OutOfRangeException;
using gt::core::String;

namespace {

Array<String> letters(char const* text) {
    Array<String> array;
    for (char const* p = text; *p; ++p)
        array.add(String(1, static_cast<char16_t>(*p)));
    return array;
}

std::string joined(Array<String> const& array) {
    std::string out;
    for (String const& s : array)
        out += static_cast<char>(s[0]);
    return out;
}

// Records the id of every element destroyed, in order.
struct Tracked {
    static std::vector<int>* log;
    int id = -1;
    Tracked() = default;
    explicit Tracked(int i) : id(i) {}
    Tracked(Tracked const&) = default;
    Tracked& operator=(Tracked const&) = default;
    ~Tracked() {
        if (log && id >= 0) log->push_back(id);
    }
};
std::vector<int>* Tracked::log = nullptr;

void expectOutOfRange(void (*call)(), int index, int size) {
    try {
        call();
        FAIL() << "no exception";
    } catch (OutOfRangeException const& e) {
        EXPECT_EQ(e.message(), OutOfRangeException(index, size).message());
    }
}

}  // namespace

TEST(Array, CapacityFollowsTheGrowthRule) {
    Array<int> array;
    EXPECT_EQ(array.capacity(), 0);
    EXPECT_EQ(array.data(), nullptr);
    array.add(1);
    EXPECT_EQ(array.capacity(), 32);
    for (int i = 2; i <= 32; ++i)
        array.add(i);
    EXPECT_EQ(array.capacity(), 32);
    array.add(33);
    EXPECT_EQ(array.capacity(), 64);
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(array[i], i + 1);

    struct Case {
        int request;
        int capacity;
    } const cases[] = {{-5, 0},  {0, 0},     {1, 32},        {32, 32},
                       {33, 64}, {100, 128}, {16384, 16384}, {16385, 32768}};
    for (Case const& c : cases) {
        Array<int> fresh;
        fresh.reserve(c.request);
        EXPECT_EQ(fresh.capacity(), c.capacity) << c.request;
        EXPECT_EQ(fresh.count(), 0);
    }

    Array<int> small;
    small.add(7).reserve(16);
    EXPECT_EQ(small.capacity(), 32);
    small.resize(0);
    EXPECT_EQ(small.capacity(), 32);  // never shrinks
}

TEST(Array, IndexErrorsThrowOutOfRange) {
    expectOutOfRange([] { Array<int>().resize(-1); }, -1, 2147483647);
    expectOutOfRange(
        [] {
            Array<int> a;
            a.add(1).add(2);
            a[2];
        },
        2, 2);
    expectOutOfRange(
        [] {
            Array<int> a;
            a.add(1);
            a[-1];
        },
        -1, 1);
    expectOutOfRange([] { Array<int>().last(); }, 0, 0);
    Array<int> const a = Array<int>().add(4).add(5);
    EXPECT_EQ(a.last(), 5);
    EXPECT_THROW(a[7], OutOfRangeException);
}

TEST(Array, RemoveAndRemoveAt) {
    struct Case {
        int index, count;
        char const* after;
    } const cases[] = {{1, 2, "ad"},    {2, 10, "ab"},   {4, 1, "abcd"}, {0, 0, "abcd"},
                       {-1, 2, "abcd"}, {0, -3, "abcd"}, {0, 4, ""},     {3, 1, "abc"}};
    for (Case const& c : cases) {
        Array<String> array = letters("abcd");
        array.remove(c.index, c.count);
        EXPECT_EQ(joined(array), c.after) << c.index << "," << c.count;
    }
    struct AtCase {
        int index;
        char const* after;
    } const atCases[] = {{1, "adc"}, {3, "abc"}, {0, "dbc"}, {4, "abcd"}, {-1, "abcd"}};
    for (AtCase const& c : atCases) {
        Array<String> array = letters("abcd");
        array.removeAt(c.index);
        EXPECT_EQ(joined(array), c.after) << c.index;
    }
}

TEST(Array, ResizeDestroysTheTailInAscendingOrder) {
    std::vector<int> log;
    Tracked::log = &log;
    {
        Array<Tracked> array;
        for (int i = 0; i < 5; ++i)
            array.add(Tracked(i));
        log.clear();
        array.resize(2);
        EXPECT_EQ(log, (std::vector<int>{2, 3, 4}));
        array.resize(4);  // new slots are default elements
        EXPECT_EQ(array.count(), 4);
        EXPECT_EQ(array[3].id, -1);
        log.clear();
    }
    EXPECT_EQ(log, (std::vector<int>{0, 1}));
    Tracked::log = nullptr;
}

TEST(Array, CopyIsDeepAndAddMayTakeAnOwnElement) {
    Array<String> source = letters("xyz");
    Array<String> copy(source);
    copy[0] = u"changed";
    EXPECT_EQ(source[0], String(u"x"));
    EXPECT_EQ(copy.capacity(), 32);

    // Adding an element of the same array while the block must grow.
    Array<String> self;
    for (int i = 0; i < 32; ++i)
        self.add(String(u"element"));
    self.add(self[0]);
    EXPECT_EQ(self.count(), 33);
    EXPECT_EQ(self.last(), String(u"element"));

    Array<String> moved(std::move(copy));
    EXPECT_EQ(moved.count(), 3);
    EXPECT_EQ(copy.count(), 0);
    copy = moved;
    EXPECT_EQ(copy[0], String(u"changed"));
    EXPECT_EQ(copy[2], String(u"z"));
}
