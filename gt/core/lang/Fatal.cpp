#include "gt/core/lang/Fatal.h"

#include <unistd.h>

#include <cstdio>

#include "gt/core/lang/Binary.h"

namespace gt {
namespace core {

namespace {
ErrorHandler s_handler = printAssert;
}

void raiseError(String const& message, String const& file, int line) {
    if (s_handler) s_handler(message, file, line);
    std::fflush(nullptr);
    _exit(255);
}

void raiseAssert(char const* expression, char const* file, int line) {
    raiseError(Binary(expression).ansiToString(), Binary(detail::fileTag(file)).ansiToString(), line);
}

bool setErrorHandler(ErrorHandler handler, ErrorHandler* previous) {
    if (!handler) return false;
    if (previous) *previous = s_handler;
    s_handler = handler;
    return true;
}

void writeAssertLog(String const& message, String const& file, int line) { printAssert(message, file, line); }

void printAssert(String const& message, String const& file, int line) {
    Binary m = message.toOem(), f = file.toOem();
    std::fprintf(stdout, "Program assert lunched.\r\n- File:   %s\r\n- Line:   %d\r\n- Report: %s\r\n\r\n",
                 f.data(), line, m.data());
}

void showAssertBox(String const& message, String const& file, int line) { printAssert(message, file, line); }

namespace detail {
char const* fileTag(char const* path) { return path; }
}  // namespace detail

}  // namespace core
}  // namespace gt
