// The service program's log: one console line per record, "HH:MM:SS" local
// time, a level marker (" ", " <WARN> ", " <ERR> ") and the text.
#pragma once

#include "gt/util/ILogRecorder.h"

namespace gt {
namespace util {

class ConsoleLogRecorder : public ILogRecorder {
public:
    void info(gt::core::String const& message) override;
    void warn(gt::core::String const& message) override;
    void error(gt::core::String const& message) override;

    // The line a record becomes, for the given local time text.
    static gt::core::String format(gt::core::String const& time, char16_t const* marker,
                                   gt::core::String const& message);

private:
    static void _print(char16_t const* marker, gt::core::String const& message);
};

}  // namespace util
}  // namespace gt
