#include "gt/core/util/DateTime.h"

#include <time.h>

#include <limits>

#include "gt/core/lang/Integer.h"

namespace gt {
namespace core {
namespace {

constexpr long long kSecondsPerDay = 86400;
// 9999-12-31 23:59:59 as local seconds since 1970-01-01 00:00:00.
constexpr long long kMaxLocalSeconds = 253402300799LL;
constexpr long long kMaxYear = 9999;

// Seconds west of UTC of the standard time (no daylight saving).
long long zoneBias() {
    tzset();
    return static_cast<long long>(::timezone);
}

long long floorDiv(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Days from 1970-01-01 to the given proleptic Gregorian date (month 1-12).
long long daysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    long long era = floorDiv(y, 400);
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The inverse of daysFromCivil, for days >= 0.
void civilFromDays(long long z, long long& y, long long& m, long long& d) {
    z += 719468;
    long long era = z / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2);
}

long long saturatingAdd(long long a, long long b) {
    long long sum;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<long long>::max() : std::numeric_limits<long long>::min();
    }
    return sum;
}

void appendTwoDigits(String& out, long long value) {
    String text = Integer(static_cast<int>(value)).toString();
    if (text.length() < 2) out.append(2 - text.length(), u'0');
    out.append(text.right(2));
}

bool isOneOf(Char c, char16_t const* set) {
    for (; *set; ++set) {
        if (c == *set) return true;
    }
    return false;
}

// Reads the text up to the first character of the set and steps over that
// character; at the end of the text every further field is empty.
String nextField(String const& text, int& position, char16_t const* separators) {
    int begin = position;
    int n = text.length();
    while (position < n && !isOneOf(text[position], separators))
        ++position;
    String field = text.mid(begin, position - begin);
    if (position < n) ++position;
    return field;
}

}  // namespace

// The text is read as six fields, each ended by one character of its set:
//   year   - / \        month  - / \        day    space T TAB _
//   hour   : - / \      minute : - / \      second space . : + -
// An empty month or day counts as 1; a field without digits counts as 0.
// What follows the seconds (fractions, a zone such as "+08:00" or "Z") is
// ignored.
DateTime::DateTime(String const& text) : m_seconds(0) {
    int position = 0;
    String year = nextField(text, position, u"-/\\");
    String month = nextField(text, position, u"-/\\");
    String day = nextField(text, position, u" T\t_");
    String hour = nextField(text, position, u":-/\\");
    String minute = nextField(text, position, u":-/\\");
    String second = nextField(text, position, u" .:+-");
    Fields f{};
    f.year = year.toInt();
    f.month = month.isEmpty() ? 1 : month.toInt();
    f.day = day.isEmpty() ? 1 : day.toInt();
    f.hour = hour.toInt();
    f.minute = minute.toInt();
    f.second = second.toInt();
    _setFields(f);
}

DateTime DateTime::now() { return DateTime(static_cast<long long>(::time(nullptr))); }

void DateTime::setToNow() { m_seconds = static_cast<long long>(::time(nullptr)); }

int DateTime::compare(DateTime const& other) const {
    if (m_seconds < other.m_seconds) return -1;
    return m_seconds > other.m_seconds ? 1 : 0;
}

DateTime& DateTime::addDays(int n) {
    m_seconds = saturatingAdd(m_seconds, static_cast<long long>(n) * kSecondsPerDay);
    return *this;
}

DateTime& DateTime::addHours(int n) {
    m_seconds = saturatingAdd(m_seconds, static_cast<long long>(n) * 3600);
    return *this;
}

DateTime& DateTime::addMinutes(int n) {
    m_seconds = saturatingAdd(m_seconds, static_cast<long long>(n) * 60);
    return *this;
}

DateTime& DateTime::addSeconds(int n) {
    m_seconds = saturatingAdd(m_seconds, n);
    return *this;
}

DateTime::Fields DateTime::_fields() const {
    long long local;
    if (__builtin_sub_overflow(m_seconds, zoneBias(), &local)) {
        local = m_seconds < 0 ? 0 : kMaxLocalSeconds;
    }
    if (local < 0) local = 0;
    if (local > kMaxLocalSeconds) local = kMaxLocalSeconds;
    long long days = local / kSecondsPerDay;
    long long rest = local % kSecondsPerDay;
    Fields f{};
    civilFromDays(days, f.year, f.month, f.day);
    f.hour = rest / 3600;
    f.minute = rest / 60 % 60;
    f.second = rest % 60;
    f.dayOfWeek = static_cast<int>((days + 4) % 7);  // 1970-01-01 was a Thursday
    return f;
}

DateTime& DateTime::_setFields(Fields const& f) {
    long long monthIndex = f.month - 1;
    long long year = f.year + floorDiv(monthIndex, 12);
    long long month = monthIndex - floorDiv(monthIndex, 12) * 12 + 1;
    // Day, hour, minute and second come from int values; years far outside
    // the range are refused before they could overflow.
    if (year < 1900 || year > kMaxYear + 100) {
        m_seconds = 0;
        return *this;
    }
    long long days = daysFromCivil(year, month, 1) + f.day - 1;
    long long local = days * kSecondsPerDay + f.hour * 3600 + f.minute * 60 + f.second;
    long long count = local + zoneBias();
    m_seconds = (count < 0 || local > kMaxLocalSeconds) ? 0 : count;
    return *this;
}

int DateTime::year() const { return static_cast<int>(_fields().year); }
int DateTime::month() const { return static_cast<int>(_fields().month); }
int DateTime::day() const { return static_cast<int>(_fields().day); }
int DateTime::hour() const { return static_cast<int>(_fields().hour); }
int DateTime::minute() const { return static_cast<int>(_fields().minute); }
int DateTime::second() const { return static_cast<int>(_fields().second); }
int DateTime::dayOfWeek() const { return _fields().dayOfWeek; }

DateTime& DateTime::_changeField(long long Fields::*field, long long value, bool add) {
    Fields f = _fields();
    f.*field = add ? f.*field + value : value;
    return _setFields(f);
}

DateTime& DateTime::setYear(int year) { return _changeField(&Fields::year, year, false); }

DateTime& DateTime::setMonth(int month) { return _changeField(&Fields::month, month, false); }

DateTime& DateTime::setDay(int day) { return _changeField(&Fields::day, day, false); }

DateTime& DateTime::setHour(int hour) { return _changeField(&Fields::hour, hour, false); }

DateTime& DateTime::setMinute(int minute) { return _changeField(&Fields::minute, minute, false); }

DateTime& DateTime::setSecond(int second) { return _changeField(&Fields::second, second, false); }

DateTime& DateTime::addYears(int n) { return _changeField(&Fields::year, n, true); }

DateTime& DateTime::addMonths(int n) { return _changeField(&Fields::month, n, true); }

DateTime DateTime::date() const {
    Fields f = _fields();
    f.hour = f.minute = f.second = 0;
    DateTime result;
    return result._setFields(f);
}

DateTime DateTime::time() const {
    // Field by field on the zero time: a step that would fall before 1970
    // (hour 0 east of UTC) leaves the zero time, as the setters do.
    Fields const f = _fields();
    DateTime result;
    result.setHour(static_cast<int>(f.hour));
    result.setMinute(static_cast<int>(f.minute));
    result.setSecond(static_cast<int>(f.second));
    return result;
}

bool DateTime::isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

String DateTime::toString() const {
    Fields f = _fields();
    String out = Integer(static_cast<int>(f.year)).toString();
    out.append(u'-');
    appendTwoDigits(out, f.month);
    out.append(u'-');
    appendTwoDigits(out, f.day);
    out.append(u' ');
    appendTwoDigits(out, f.hour);
    out.append(u':');
    appendTwoDigits(out, f.minute);
    out.append(u':');
    appendTwoDigits(out, f.second);
    return out;
}

String DateTime::toDateString() const {
    Fields f = _fields();
    String out = Integer(static_cast<int>(f.year)).toString();
    out.append(u'-');
    appendTwoDigits(out, f.month);
    out.append(u'-');
    appendTwoDigits(out, f.day);
    return out;
}

String DateTime::toTimeString() const {
    Fields f = _fields();
    String out;
    appendTwoDigits(out, f.hour);
    out.append(u':');
    appendTwoDigits(out, f.minute);
    out.append(u':');
    appendTwoDigits(out, f.second);
    return out;
}

// Declared with String; defined here so that String does not depend on DateTime.
DateTime String::toDateTime() const { return DateTime(*this); }

}  // namespace core
}  // namespace gt
