// Signed 64-bit integer value with its text forms.
#pragma once

#include "gt/core/lang/NumberText.h"

namespace gt {
namespace core {

class Long : public detail::IntegerValue<long long, long long> {
public:
    using IntegerValue::IntegerValue;
};

}  // namespace core
}  // namespace gt
