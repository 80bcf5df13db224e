#include "svr/ConsoleLogRecorder.h"

#include "gt/core/io/Console.h"
#include "gt/core/util/DateTime.h"

using gt::core::String;

namespace gt {
namespace util {

void ConsoleLogRecorder::info(String const& message) { _print(u" ", message); }

void ConsoleLogRecorder::warn(String const& message) { _print(u" <WARN> ", message); }

void ConsoleLogRecorder::error(String const& message) { _print(u" <ERR> ", message); }

String ConsoleLogRecorder::format(String const& time, char16_t const* marker, String const& message) {
    return time + marker + message;
}

void ConsoleLogRecorder::_print(char16_t const* marker, String const& message) {
    gt::core::Console::println(format(gt::core::DateTime::now().toTimeString(), marker, message));
}

}  // namespace util
}  // namespace gt
