#include "gt/core/util/Any.h"

#include <cmath>

#include "gt/core/lang/Double.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Long.h"

namespace gt {
namespace core {

Any::Any(Array<Any> const& value) : m_holder(new Holder<Array<Any> >(value)) {}
Any::Any(Array<Any>&& value) : m_holder(new Holder<Array<Any> >(std::move(value))) {}
Any::Any(Dictionary<Any> const& value) : m_holder(new Holder<Dictionary<Any> >(value)) {}
Any::Any(Dictionary<Any>&& value) : m_holder(new Holder<Dictionary<Any> >(std::move(value))) {}

Any::~Any() { reset(); }

Any& Any::operator=(Any const& other) {
    if (this != &other) {
        // Clone before letting go of the old value: other may live inside it.
        PlaceHolder* copy = other.m_holder ? other.m_holder->clone() : nullptr;
        PlaceHolder* old = m_holder;
        m_holder = copy;
        delete old;
    }
    return *this;
}

Any& Any::operator=(Any&& other) noexcept {
    if (this != &other) {
        PlaceHolder* old = m_holder;
        m_holder = other.m_holder;
        other.m_holder = nullptr;
        delete old;
    }
    return *this;
}

void Any::reset() {
    PlaceHolder* old = m_holder;
    m_holder = nullptr;
    delete old;
}

Any const& Any::emptyAny() { return detail::sharedEmptyValue<Any>(); }

void Any::_throwBadCast(std::type_info const& requested) const {
    throw BadAnyCastException(type(), Type(requested));
}

namespace {

// Truncation toward zero, saturated at the limits of the target; NaN gives 0.
template <class I>
I truncateDouble(double value, double low, double high) {
    if (std::isnan(value)) return 0;
    if (value <= low) return static_cast<I>(low);
    if (value >= high) return static_cast<I>(high);
    return static_cast<I>(value);
}

}  // namespace

String toString(Any const& value) {
    if (value.is<String>()) return value.cast<String>();
    if (value.is<Binary>()) return value.cast<Binary>().utf8ToString();
    if (value.is<signed char>()) return Integer(value.cast<signed char>()).toString();
    if (value.is<short>()) return Integer(value.cast<short>()).toString();
    if (value.is<int>()) return Integer(value.cast<int>()).toString();
    if (value.is<long long>()) return Long(value.cast<long long>()).toString();
    if (value.is<double>()) return Double(value.cast<double>()).toString();
    if (value.is<bool>()) return String(value.cast<bool>() ? u"true" : u"false");
    return String();
}

bool toBool(Any const& value) {
    if (value.is<bool>()) return value.cast<bool>();
    if (value.is<signed char>()) return value.cast<signed char>() != 0;
    if (value.is<short>()) return value.cast<short>() != 0;
    if (value.is<int>()) return value.cast<int>() != 0;
    if (value.is<long long>()) return value.cast<long long>() != 0;
    if (value.is<double>()) {
        double d = value.cast<double>();
        return d > 1.0 || d < -1.0;
    }
    if (value.is<String>()) return value.cast<String>().toBool();
    if (value.is<Binary>()) return value.cast<Binary>().utf8ToString().toBool();
    return false;
}

int toInt(Any const& value) {
    if (value.is<int>()) return value.cast<int>();
    if (value.is<signed char>()) return value.cast<signed char>();
    if (value.is<short>()) return value.cast<short>();
    if (value.is<long long>()) return static_cast<int>(static_cast<unsigned>(value.cast<long long>()));
    if (value.is<double>()) return truncateDouble<int>(value.cast<double>(), -2147483648.0, 2147483647.0);
    if (value.is<String>()) return value.cast<String>().toInt32();
    if (value.is<Binary>()) return value.cast<Binary>().utf8ToString().toInt32();
    if (value.is<bool>()) return value.cast<bool>() ? 1 : 0;
    return 0;
}

long long toLong(Any const& value) {
    if (value.is<long long>()) return value.cast<long long>();
    if (value.is<signed char>()) return value.cast<signed char>();
    if (value.is<short>()) return value.cast<short>();
    if (value.is<int>()) return value.cast<int>();
    if (value.is<double>()) {
        // 2^63 is the first double above the range; the largest double below
        // it converts exactly.
        double d = value.cast<double>();
        if (std::isnan(d)) return 0;
        if (d >= 9223372036854775808.0) return 9223372036854775807LL;
        if (d < -9223372036854775808.0) return -9223372036854775807LL - 1;
        return static_cast<long long>(d);
    }
    if (value.is<String>()) return value.cast<String>().toInt64();
    if (value.is<Binary>()) return value.cast<Binary>().utf8ToString().toInt64();
    if (value.is<bool>()) return value.cast<bool>() ? 1 : 0;
    return 0;
}

}  // namespace core
}  // namespace gt
