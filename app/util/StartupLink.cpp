#include "app/util/StartupLink.h"

#include <cerrno>

#include "gt/core/io/DesktopEntry.h"
#include "gt/core/io/File.h"
#include "gt/core/io/FileSystem.h"
#include "gt/core/io/Path.h"
#include "gt/core/lang/SystemError.h"

using gt::core::File;
using gt::core::String;

namespace tunnel {

namespace {

bool fail(String* error, String const& reason) {
    if (error) *error = reason;
    return false;
}

}  // namespace

bool StartupLink::create(String const& linkFile, String const& program, std::vector<String> const& arguments,
                         String* error) {
    std::vector<String> command{program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    String text;
    // The session lists the entry by the program's name.
    if (!gt::core::DesktopEntry::applicationText(gt::core::baseName(program), command, &text))
        return fail(error, u"the program's path cannot go into an autostart entry: " + program);
    String const folder = gt::core::dirName(linkFile);
    if (!folder.isEmpty() && !gt::core::createDirectories(folder))
        return fail(error, folder + u": " + gt::core::systemErrorText(errno));
    if (!File::writeReplacing(linkFile, text.toBinary()))
        return fail(error, linkFile + u": " + gt::core::systemErrorText(errno));
    return true;
}

bool StartupLink::remove(String const& linkFile, String* error) {
    if (File::remove(linkFile) || !File::isFile(linkFile)) return true;
    return fail(error, linkFile + u": " + gt::core::systemErrorText(errno));
}

bool StartupLink::exists(String const& linkFile) { return File::isFile(linkFile); }

}  // namespace tunnel
