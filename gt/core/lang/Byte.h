// Signed 8-bit integer value with its text forms.
#pragma once

#include "gt/core/lang/NumberText.h"

namespace gt {
namespace core {

class Byte : public detail::IntegerValue<signed char, int> {
public:
    using IntegerValue::IntegerValue;
};

}  // namespace core
}  // namespace gt
