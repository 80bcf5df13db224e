// Fatal errors and assertions: one replaceable handler reports the failure,
// then the process ends with exit code -1 (255 as a parent sees it).
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

using ErrorHandler = void (*)(String const& message, String const& file, int line);

// Calls the installed handler, then ends the process. When several threads
// fail at once, or the handler itself fails, one report is written and the
// process still ends.
[[noreturn]] void raiseError(String const& message, String const& file, int line);
// The expression text and the source file (reduced to its tag, see
// detail::fileTag) as Strings, then raiseError.
[[noreturn]] void raiseAssert(char const* expression, char const* file, int line);
// A null handler changes nothing and returns false.
bool setErrorHandler(ErrorHandler handler, ErrorHandler* previous);

// Default handler: appends the report to "assert.log" in the program folder.
void writeAssertLog(String const& message, String const& file, int line);
// Writes the report to standard output.
void printAssert(String const& message, String const& file, int line);
// Shows the report under the program's path as title; without a desktop to
// show it on, it goes to standard error.
void showAssertBox(String const& message, String const& file, int line);

namespace detail {
// The report block: five lines and an empty one, each ended by CR LF.
String assertReport(String const& message, String const& file, int line);
// "gt/net/channel/TcpSocketChannel.cpp" -> "channel/TcpSocketChannel": the
// last folder and the file name without its extension, with '/' between
// them whichever separator the path used.
String fileTag(char const* path);
}  // namespace detail

}  // namespace core
}  // namespace gt

#define GT_ASSERT(condition)                                                       \
    do {                                                                           \
        if (!(condition)) ::gt::core::raiseAssert(#condition, __FILE__, __LINE__); \
    } while (0)
