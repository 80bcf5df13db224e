// The entry that starts the client when the user logs in: an application
// entry in the user's autostart folder that runs a program with its
// arguments (the settings dialog's "开机时启动" choice).
#pragma once

#include <vector>

#include "gt/core/lang/String.h"

namespace tunnel {

class StartupLink {
public:
    // Writes the entry linkFile (creating its folder) that runs program with
    // the arguments, replacing what was there in one step. False, with the
    // reason in *error when error is not null, when the entry cannot hold the
    // command or the file cannot be written.
    static bool create(gt::core::String const& linkFile, gt::core::String const& program,
                       std::vector<gt::core::String> const& arguments, gt::core::String* error = nullptr);
    // Deletes the entry (a link in its place goes itself). True when no
    // entry is there afterwards; otherwise the reason in *error.
    static bool remove(gt::core::String const& linkFile, gt::core::String* error = nullptr);
    // Whether the entry is there (a file, not a folder).
    static bool exists(gt::core::String const& linkFile);
};

}  // namespace tunnel
