// Signed 32-bit integer value with its text forms.
#pragma once

#include "gt/core/lang/NumberText.h"

namespace gt {
namespace core {

class Integer : public detail::IntegerValue<int, int> {
public:
    using IntegerValue::IntegerValue;
};

}  // namespace core
}  // namespace gt
