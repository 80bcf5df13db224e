// The body of an HTTP request: its media type and its bytes.
#pragma once

#include <utility>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"

namespace gt {
namespace util {

struct HttpContent {
    HttpContent() = default;
    HttpContent(core::String const& type, core::Binary const& data) : type(type), data(data) {}
    HttpContent(core::String const& type, core::Binary&& data) : type(type), data(std::move(data)) {}

    // A form post: the form-encoded fields as UTF-8, typed
    // "application/x-www-form-urlencoded; charset=UTF-8".
    static HttpContent form(core::Dictionary<core::String> const& fields);

    core::String type;  // written verbatim as Content-Type
    core::Binary data;
};

}  // namespace util
}  // namespace gt
