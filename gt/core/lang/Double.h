// Double-precision value with its locale-free text forms.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class Double {
public:
    Double() : m_value(0.0) {}
    Double(double value) : m_value(value) {}
    explicit Double(String const& text);

    double value() const { return m_value; }
    operator double() const { return m_value; }

    // "%.15lg" with a three-digit exponent ("1e+020").
    String toString() const;
    // Fixed point with the given number of decimals (clamped to 0..340).
    String toString(int decimals) const;

    static double parse(String const& text);
    static double maxValue();
    static double minValue();
    static double epsilon();
    static double negativeInfinity();
    static double positiveInfinity();
    static bool equals(double a, double b);
    static bool isNaN(double x);

private:
    double m_value;
};

}  // namespace core
}  // namespace gt
