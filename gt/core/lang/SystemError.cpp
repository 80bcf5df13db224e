#include "gt/core/lang/SystemError.h"

#include <string.h>

#include <cstdio>

namespace gt {
namespace core {

namespace {

// strerror_r comes in two shapes: the GNU one returns the message (which may
// or may not be the buffer), the POSIX one fills the buffer and returns 0.
[[maybe_unused]] char const* messageOf(char const* result, char const*) { return result; }
[[maybe_unused]] char const* messageOf(int result, char const* buffer) {
    return result == 0 ? buffer : nullptr;
}

}  // namespace

String systemErrorText(int err) {
    char buffer[256];
    buffer[0] = '\0';
    char const* message = messageOf(::strerror_r(err, buffer, sizeof buffer), buffer);
    if (message == nullptr || message[0] == '\0') message = "Unknown error";
    char text[320];
    std::snprintf(text, sizeof text, "%s (%d)", message, err);
    return String::fromUtf8(text);
}

}  // namespace core
}  // namespace gt
