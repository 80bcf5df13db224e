// Readable text of a system error number (errno), for log lines and for the
// last error an object keeps: "Connection refused (111)".
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

// The system's message for err followed by the number in parentheses; safe
// on any thread. 0 gives "Success (0)"; an unknown number still gives its
// number.
String systemErrorText(int err);

}  // namespace core
}  // namespace gt
