// A fresh random GUID (version 4) and its text forms.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class GUID {
public:
    // Generates a new value from the system's random source; all zero when
    // that source fails.
    GUID();
    virtual ~GUID() = default;

    // 32 lower-case hexadecimal digits, no braces or dashes.
    String toString() const;
    // 8-4-4-4-12 groups, lower case, no braces.
    String toDashedString() const;

private:
    String _format(char const* format) const;

    unsigned m_data1;
    unsigned short m_data2;
    unsigned short m_data3;
    unsigned char m_data4[8];
};

}  // namespace core
}  // namespace gt
