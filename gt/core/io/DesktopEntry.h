// Application entries of the freedesktop.org desktop entry format, as the
// autostart folder ($XDG_CONFIG_HOME/autostart) holds them: a program that
// the session starts at login, with its arguments.
#pragma once

#include <vector>

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class DesktopEntry {
public:
    // One argument of an Exec line: in double quotes, with '"', '`', '$' and
    // '\' escaped by a backslash (the quoting rules of the Exec key).
    static String quoteArgument(String const& argument);
    // The value of the Exec key for a command line made of quoted arguments
    // (or plain words that need no quoting): '%' doubled (no field codes) and
    // every backslash doubled, since the value is a string. False when the
    // command holds a control character, which a one-line value cannot carry.
    static bool execValue(String const& commandLine, String* value);
    // The text of an application entry named name that runs the program with
    // its arguments; false as execValue (also for a name that is no one-line
    // text).
    static bool applicationText(String const& name, std::vector<String> const& command, String* text);
};

}  // namespace core
}  // namespace gt
