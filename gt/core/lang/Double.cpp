#include "gt/core/lang/Double.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "gt/core/lang/NumberText.h"

namespace gt {
namespace core {

Double::Double(String const& text) : m_value(detail::parseDouble(text)) {}

String Double::toString() const { return detail::formatDouble("%.15g", m_value, 2048); }

String Double::toString(int decimals) const {
    if (decimals < 0) decimals = 0;
    if (decimals > 340) decimals = 340;
    char format[16];
    std::snprintf(format, sizeof format, "%%.%df", decimals);
    return detail::formatDouble(format, m_value, 2048);
}

double Double::parse(String const& text) { return detail::parseDouble(text); }

double Double::maxValue() { return std::numeric_limits<double>::max(); }

double Double::minValue() { return -std::numeric_limits<double>::max(); }

double Double::epsilon() { return std::numeric_limits<double>::epsilon(); }

double Double::negativeInfinity() { return -std::numeric_limits<double>::infinity(); }

double Double::positiveInfinity() { return std::numeric_limits<double>::infinity(); }

bool Double::equals(double a, double b) { return std::fabs(a - b) < epsilon(); }

bool Double::isNaN(double x) { return x != x; }

}  // namespace core
}  // namespace gt
