// Value class holding one bool, with its text form "true" / "false".
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class Boolean {
public:
    Boolean() : m_value(false) {}
    Boolean(bool value) : m_value(value) {}

    bool value() const { return m_value; }
    operator bool() const { return m_value; }

    String toString() const { return m_value ? trueString() : falseString(); }
    // Sets the value from text: see parse.
    void fromString(String const& text) { m_value = parse(text); }

    static String const& trueString();
    static String const& falseString();
    // True when the text, lower-cased (ASCII), equals "true"; anything else is false.
    static bool parse(String const& text);

private:
    bool m_value;
};

}  // namespace core
}  // namespace gt
