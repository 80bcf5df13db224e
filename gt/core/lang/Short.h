// Signed 16-bit integer value with its text forms.
#pragma once

#include "gt/core/lang/NumberText.h"

namespace gt {
namespace core {

class Short : public detail::IntegerValue<short, int> {
public:
    using IntegerValue::IntegerValue;
};

}  // namespace core
}  // namespace gt
