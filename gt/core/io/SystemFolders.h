// Where things are: the running program, the per-user and shared data
// folders, the temporary folder and the current directory. Each returns an
// empty String when the system cannot tell.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

// Full path of the running program (/proc/self/exe), never cut short.
String getProgramFile();
// Folder of the running program, without a trailing separator.
String getProgramDirectory();
// Folder of the system's programs ("/usr/bin").
String getSystemDirectory();
// Root of the system's file tree ("/"): there are no drive letters here.
String getSystemDrive();
// The user's home folder ($HOME, else the password database).
String getUserProfileDirectory();
// Per-user settings: $XDG_CONFIG_HOME, else ~/.config. The XDG variables
// count only when they hold an absolute path.
String getAppDataDirectory();
// Per-user data: $XDG_DATA_HOME, else ~/.local/share.
String getLocalAppDataDirectory();
// Per-user state that outlives a run but is no document (service records,
// logs): $XDG_STATE_HOME, else ~/.local/state.
String getStateDirectory();
// The base of the data folder shared by our programs: $GT_COMMON_APPDATA,
// else $XDG_DATA_HOME, else ~/.local/share.
String getCommonAppDataDirectory();
// $TMPDIR, else /tmp, without trailing separators.
String getTempDirectory();
// The process's current directory, without trailing separators.
String getCurrentDirectory();
bool setCurrentDirectory(String const& path);

}  // namespace core
}  // namespace gt
