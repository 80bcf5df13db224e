// Calendar time: a signed 64-bit count of seconds since 1970-01-01 00:00:00
// UTC, shown and edited in local time. Local time is UTC minus the standard
// time-zone bias of the system; daylight saving is never applied, so a
// conversion to local fields and back always gives the same count.
//
// Local fields cover 1970-01-01 00:00:00 to 9999-12-31 23:59:59. A count
// whose local time lies before that range shows as 1970-01-01 00:00:00, one
// after it as 9999-12-31 23:59:59. Setting fields whose result lies before
// 1970-01-01 00:00:00 UTC or after 9999-12-31 23:59:59 local gives count 0.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class DateTime {
public:
    DateTime() : m_seconds(0) {}
    DateTime(long long seconds) : m_seconds(seconds) {}
    // Reads "YYYY-MM-DD HH:MM:SS" and its common variants (see DateTime.cpp);
    // unreadable text gives count 0.
    explicit DateTime(String const& text);
    DateTime(DateTime const& other) = default;
    DateTime& operator=(DateTime const& other) = default;
    virtual ~DateTime() = default;

    static DateTime now();
    void setToNow();

    // The count; values compare and subtract as signed 64-bit integers.
    long long seconds() const { return m_seconds; }
    operator long long() const { return m_seconds; }
    int compare(DateTime const& other) const;

    // Arithmetic on the count, in 64 bits (saturating at the ends of the range).
    DateTime& addDays(int n);
    DateTime& addHours(int n);
    DateTime& addMinutes(int n);
    DateTime& addSeconds(int n);

    // Local fields.
    int year() const;
    int month() const;  // 1-12
    int day() const;    // 1-31
    int hour() const;
    int minute() const;
    int second() const;
    int dayOfWeek() const;  // 0 = Sunday

    // Replace or add to one local field; out-of-range values are carried
    // into the neighbouring fields (month 13 is January of the next year,
    // day 0 the last day of the month before).
    DateTime& setYear(int year);
    DateTime& setMonth(int month);
    DateTime& setDay(int day);
    DateTime& setHour(int hour);
    DateTime& setMinute(int minute);
    DateTime& setSecond(int second);
    DateTime& addYears(int n);
    DateTime& addMonths(int n);

    // Local midnight of the same day.
    DateTime date() const;
    // The time of day placed on 1970-01-01 local.
    DateTime time() const;

    static bool isLeapYear(int year);

    String toString() const;      // YYYY-MM-DD HH:MM:SS
    String toDateString() const;  // YYYY-MM-DD
    String toTimeString() const;  // HH:MM:SS

private:
    struct Fields {
        long long year, month, day, hour, minute, second;
        int dayOfWeek;
    };

    Fields _fields() const;
    // Sets the count from local fields (normalised), or 0 when out of range.
    DateTime& _setFields(Fields const& f);
    // Replaces one field (or adds to it) and sets the count from the result.
    DateTime& _changeField(long long Fields::*field, long long value, bool add);

    long long m_seconds;
};

}  // namespace core
}  // namespace gt
