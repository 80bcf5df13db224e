#include "gt/core/io/DesktopEntry.h"

namespace gt {
namespace core {

namespace {

bool holdsControl(String const& text) {
    for (int i = 0; i < text.length(); ++i) {
        if (text[i] < 0x20 || text[i] == 0x7F) return true;
    }
    return false;
}

}  // namespace

String DesktopEntry::quoteArgument(String const& argument) {
    String out = u"\"";
    for (int i = 0; i < argument.length(); ++i) {
        Char const c = argument[i];
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') out += u'\\';
        out += c;
    }
    return out + u'"';
}

bool DesktopEntry::execValue(String const& commandLine, String* value) {
    if (holdsControl(commandLine)) return false;
    String out;
    for (int i = 0; i < commandLine.length(); ++i) {
        Char const c = commandLine[i];
        if (c == u'%' || c == u'\\') out += c;
        out += c;
    }
    *value = out;
    return true;
}

bool DesktopEntry::applicationText(String const& name, std::vector<String> const& command, String* text) {
    if (command.empty() || holdsControl(name) || name.indexOf(u'\\') >= 0) return false;
    String commandLine;
    for (String const& argument : command) {
        if (!commandLine.isEmpty()) commandLine += u' ';
        commandLine += quoteArgument(argument);
    }
    String exec;
    if (!execValue(commandLine, &exec)) return false;
    *text = u"[Desktop Entry]\nType=Application\nName=" + name + u"\nExec=" + exec +
            u"\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    return true;
}

}  // namespace core
}  // namespace gt
