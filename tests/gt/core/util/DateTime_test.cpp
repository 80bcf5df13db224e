#include "gt/core/util/DateTime.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <limits>
#include <string>

#include "support/Text.h"

using gt::core::DateTime;
using gt::core::String;

namespace {

// Pins the process's time zone for one test and restores it afterwards.
class ZoneTest : public ::testing::Test {
protected:
    void pinZone(char const* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    void SetUp() override {
        char const* old = getenv("TZ");
        m_hadZone = old != nullptr;
        if (old) m_oldZone = old;
        pinZone("UTC-8");  // 8 hours east of UTC, no daylight saving
    }
    void TearDown() override {
        if (m_hadZone) {
            setenv("TZ", m_oldZone.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    bool m_hadZone = false;
    std::string m_oldZone;
};

using DateTimeTest = ZoneTest;
using gt::test::str;
using gt::test::utf8;

}  // namespace

TEST_F(DateTimeTest, EpochInLocalTime) {
    DateTime epoch;
    EXPECT_EQ(utf8(epoch.toString()), "1970-01-01 08:00:00");
    EXPECT_EQ(epoch.dayOfWeek(), 4);
    EXPECT_EQ(utf8(epoch.toDateString()), "1970-01-01");
    EXPECT_EQ(utf8(epoch.toTimeString()), "08:00:00");
}

TEST_F(DateTimeTest, ParsesTheCommonVariants) {
    struct Case {
        char const* text;
        long long count;
    } cases[] = {
        {"2024-03-05 07:08:09", 1709593689},
        {"2024/03/05T07:08:09", 1709593689},
        {"2024\\03\\05_07-08-09", 1709593689},
        {"2024-03-05 07:08:09.123+08:00", 1709593689},
        {"2024-03-05\t07/08/09Z", 1709593689},
        {" 2024-3-5 7:8:9", 1709593689},
        {"2024-03-05 07:08:09-0500 trailing", 1709593689},
        {"2024-03-04 31:08:09", 1709593689},  // hours carry into the day
        {"2024", 1704038400},                 // 2024-01-01 00:00:00 local
        {"2024-02", 1706716800},              // 2024-02-01 00:00:00 local
        {"", 0},
        {"abc", 0},
        {"1969-12-31 23:59:59", 0},  // before 1970 UTC
        {"99999-01-01", 0},
        {"2147483647-01-01", 0},
        {"2024-2147483647-2147483647 2147483647:2147483647:2147483647", 0},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(DateTime(str(c.text)).seconds(), c.count) << c.text;
        EXPECT_EQ(str(c.text).toDateTime().seconds(), c.count) << c.text;
    }
    EXPECT_EQ(utf8(DateTime(str("2024")).toString()), "2024-01-01 00:00:00");
    EXPECT_EQ(utf8(DateTime(str("2024-02")).toString()), "2024-02-01 00:00:00");
}

TEST_F(DateTimeTest, FieldsOfALeapDay) {
    DateTime t(str("2024-02-29 12:00:00"));
    EXPECT_EQ(t.seconds(), 1709179200);
    EXPECT_EQ(utf8(t.toString()), "2024-02-29 12:00:00");
    EXPECT_EQ(t.year(), 2024);
    EXPECT_EQ(t.month(), 2);
    EXPECT_EQ(t.day(), 29);
    EXPECT_EQ(t.hour(), 12);
    EXPECT_EQ(t.minute(), 0);
    EXPECT_EQ(t.second(), 0);
    EXPECT_EQ(t.dayOfWeek(), 4);
}

TEST_F(DateTimeTest, SettersNormaliseOutOfRangeFields) {
    struct Case {
        char const* start;
        DateTime& (DateTime::*op)(int);
        int value;
        char const* expected;
    } cases[] = {
        {"2024-05-10 10:00:00", &DateTime::setMonth, 13, "2025-01-10 10:00:00"},
        {"2024-05-10 10:00:00", &DateTime::setMonth, 0, "2023-12-10 10:00:00"},
        {"2024-01-31 10:00:00", &DateTime::addMonths, 1, "2024-03-02 10:00:00"},
        {"2023-01-31 10:00:00", &DateTime::addMonths, 1, "2023-03-03 10:00:00"},
        {"2024-01-31 10:00:00", &DateTime::addMonths, -13, "2022-12-31 10:00:00"},
        {"2024-03-10 10:00:00", &DateTime::setDay, 0, "2024-02-29 10:00:00"},
        {"2024-02-29 10:00:00", &DateTime::addYears, 1, "2025-03-01 10:00:00"},
        {"2024-02-29 10:00:00", &DateTime::setYear, 2028, "2028-02-29 10:00:00"},
        {"2024-03-05 07:08:09", &DateTime::setHour, 24, "2024-03-06 00:08:09"},
        {"2024-03-05 07:08:09", &DateTime::setMinute, -1, "2024-03-05 06:59:09"},
        {"2024-03-05 07:08:09", &DateTime::setSecond, 3600, "2024-03-05 08:08:00"},
        {"2024-03-05 07:08:09", &DateTime::setYear, 1969, "1970-01-01 08:00:00"},
        {"2024-03-05 07:08:09", &DateTime::addYears, 2147483647, "1970-01-01 08:00:00"},
        {"2024-03-05 07:08:09", &DateTime::addMonths, -2147483647 - 1, "1970-01-01 08:00:00"},
    };
    for (Case const& c : cases) {
        DateTime t(str(c.start));
        (t.*c.op)(c.value);
        EXPECT_EQ(utf8(t.toString()), c.expected) << c.start << " " << c.value;
    }
}

TEST_F(DateTimeTest, AddProductsAreFormedIn64Bits) {
    struct Case {
        DateTime& (DateTime::*op)(int);
        int n;
        long long count;
    } cases[] = {
        {&DateTime::addDays, -1, 1709593689LL - 86400},
        {&DateTime::addDays, 30000, 1709593689LL + 30000LL * 86400},
        {&DateTime::addDays, -2147483647 - 1, 1709593689LL - 2147483648LL * 86400},
        {&DateTime::addHours, 1000000, 1709593689LL + 3600000000LL},
        {&DateTime::addMinutes, 40000000, 1709593689LL + 2400000000LL},
        {&DateTime::addSeconds, -2147483647 - 1, 1709593689LL - 2147483648LL},
    };
    for (Case const& c : cases) {
        DateTime t(1709593689LL);
        EXPECT_EQ((t.*c.op)(c.n).seconds(), c.count) << c.n;
    }
    EXPECT_EQ(utf8(DateTime(0).addDays(30000).toString()), "2052-02-20 08:00:00");
    DateTime top(std::numeric_limits<long long>::max());
    EXPECT_EQ(top.addSeconds(1).seconds(), std::numeric_limits<long long>::max());
    EXPECT_EQ(utf8(top.toString()), "9999-12-31 23:59:59");
    DateTime bottom(std::numeric_limits<long long>::min());
    EXPECT_EQ(bottom.addDays(-1).seconds(), std::numeric_limits<long long>::min());
    EXPECT_EQ(utf8(bottom.toString()), "1970-01-01 00:00:00");
}

TEST_F(DateTimeTest, NoLimitIn2038) {
    DateTime t(str("2100-03-01 00:00:00"));
    EXPECT_EQ(t.seconds(), 4107513600LL);
    EXPECT_EQ(utf8(t.toString()), "2100-03-01 00:00:00");
    EXPECT_EQ(utf8(DateTime(str("2100-02-29")).toString()), "2100-03-01 00:00:00");  // 2100 is no leap year
    EXPECT_EQ(utf8(DateTime(str("2038-01-19 11:14:08")).toString()), "2038-01-19 11:14:08");
    EXPECT_EQ(utf8(DateTime(str("9999-12-31 23:59:59")).toString()), "9999-12-31 23:59:59");
    EXPECT_EQ(DateTime(str("10000-01-01")).seconds(), 0);
}

TEST_F(DateTimeTest, FieldsToCountIsTheExactInverse) {
    // Across leap years, century years and the 2038 boundary.
    for (long long count = 0; count < 7000000000LL; count += 7777777) {
        DateTime t(count);
        EXPECT_EQ(DateTime(t.toString()).seconds(), count) << count;
        DateTime same(t);
        same.setDay(t.day()).setMonth(t.month()).setYear(t.year()).setSecond(t.second());
        EXPECT_EQ(same.seconds(), count) << count;
    }
}

TEST_F(DateTimeTest, DateAndTimeOfDay) {
    DateTime t(str("2024-03-05 07:08:09"));
    EXPECT_EQ(utf8(t.date().toString()), "2024-03-05 00:00:00");
    EXPECT_EQ(utf8(t.time().toString()), "1970-01-01 08:08:09");
    // 03:15:20 local lies before 1970-01-01 00:00:00 UTC on the first day:
    // setting the hour gives count 0, and the later steps start from there.
    EXPECT_EQ(utf8(DateTime(str("2024-03-05 03:15:20")).time().toString()), "1970-01-01 08:15:20");
    EXPECT_EQ(utf8(DateTime(str("2024-03-05 23:59:59")).time().toString()), "1970-01-01 23:59:59");
}

TEST_F(DateTimeTest, CompareAndNow) {
    DateTime a(5), b(7);
    EXPECT_EQ(a.compare(b), -1);
    EXPECT_EQ(b.compare(a), 1);
    EXPECT_EQ(a.compare(DateTime(5)), 0);
    EXPECT_TRUE(a < b);
    EXPECT_EQ(b - a, 2);
    long long before = static_cast<long long>(::time(nullptr));
    DateTime now = DateTime::now();
    DateTime set;
    set.setToNow();
    EXPECT_GE(now.seconds(), before);
    EXPECT_LE(now.seconds() - before, 5);
    EXPECT_GE(set.seconds(), now.seconds());
}

TEST(DateTimeStatic, IsLeapYear) {
    struct Case {
        int year;
        bool leap;
    } cases[] = {{1900, false}, {2000, true}, {2024, true}, {2023, false}, {2100, false}, {2400, true}};
    for (Case const& c : cases)
        EXPECT_EQ(DateTime::isLeapYear(c.year), c.leap) << c.year;
}

TEST_F(DateTimeTest, DaylightSavingIsNeverApplied) {
    pinZone("EST5EDT");  // 5 hours west, with summer time rules
    DateTime summer(str("2024-07-01 12:00:00"));
    EXPECT_EQ(summer.seconds(), 1719853200LL);  // standard offset only
    EXPECT_EQ(utf8(summer.toString()), "2024-07-01 12:00:00");
    EXPECT_EQ(summer.hour(), 12);
    // Local time before 1970 shows as the start of the range.
    EXPECT_EQ(utf8(DateTime(0).toString()), "1970-01-01 00:00:00");
    EXPECT_EQ(utf8(DateTime(18000).toString()), "1970-01-01 00:00:00");
    EXPECT_EQ(utf8(DateTime(18001).toString()), "1970-01-01 00:00:01");
}
