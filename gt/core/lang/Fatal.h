// Fatal errors and assertions: one replaceable handler reports the failure,
// then the process ends with exit code -1.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

using ErrorHandler = void (*)(String const& message, String const& file, int line);

[[noreturn]] void raiseError(String const& message, String const& file, int line);
[[noreturn]] void raiseAssert(char const* expression, char const* file, int line);
bool setErrorHandler(ErrorHandler handler, ErrorHandler* previous);

void writeAssertLog(String const& message, String const& file, int line);
void printAssert(String const& message, String const& file, int line);
void showAssertBox(String const& message, String const& file, int line);

namespace detail {
// "gt/net/channel/TcpSocketChannel.cpp" -> "channel/TcpSocketChannel": the
// path below the layer folder, without the extension.
char const* fileTag(char const* path);
}  // namespace detail

}  // namespace core
}  // namespace gt

#define GT_ASSERT(condition)                                                       \
    do {                                                                           \
        if (!(condition)) ::gt::core::raiseAssert(#condition, __FILE__, __LINE__); \
    } while (0)
