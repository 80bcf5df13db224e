#include "gt/core/io/SystemFolders.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gt/core/io/NativePath.h"
#include "gt/core/io/Path.h"

namespace gt {
namespace core {

namespace {

// A set, non-empty environment variable, or nothing.
bool environment(char const* name, String* out) {
    char const* value = ::getenv(name);
    if (!value || !*value) return false;
    *out = String::fromUtf8(value);
    return true;
}

String homeFolder() {
    String home;
    if (environment("HOME", &home)) return trimTrailingSeparators(home);
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir) {
        return String();
    }
    return trimTrailingSeparators(String::fromUtf8(found->pw_dir));
}

String underHome(Char const* relative) {
    String home = homeFolder();
    if (home.isEmpty()) return String();
    return home + u"/" + relative;
}

// A folder of the XDG base directories: the variable when it holds an
// absolute path (a relative one is invalid there and ignored), else the
// folder below the home folder.
String xdgFolder(char const* name, Char const* underHomeFolder) {
    String value;
    if (environment(name, &value) && value.startsWith(u"/")) return trimTrailingSeparators(value);
    return underHome(underHomeFolder);
}

}  // namespace

String getProgramFile() {
    // readlink gives no terminator and no sign of truncation except filling
    // the buffer: grow until the link fits with room to spare.
    std::vector<char> buffer(512);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return String();
        if (static_cast<size_t>(n) < buffer.size()) {
            return detail::fromNativePath(buffer.data(), static_cast<int>(n));
        }
        if (buffer.size() >= (1u << 20)) return String();
        buffer.resize(buffer.size() * 2);
    }
}

String getProgramDirectory() { return dirName(getProgramFile()); }

String getSystemDirectory() { return String(u"/usr/bin"); }

String getSystemDrive() { return String(u"/"); }

String getUserProfileDirectory() { return homeFolder(); }

String getAppDataDirectory() { return xdgFolder("XDG_CONFIG_HOME", u".config"); }

String getLocalAppDataDirectory() { return xdgFolder("XDG_DATA_HOME", u".local/share"); }

String getStateDirectory() { return xdgFolder("XDG_STATE_HOME", u".local/state"); }

String getCommonAppDataDirectory() {
    String value;
    if (environment("GT_COMMON_APPDATA", &value)) return trimTrailingSeparators(value);
    return getLocalAppDataDirectory();
}

String getTempDirectory() {
    String value;
    if (environment("TMPDIR", &value)) return trimTrailingSeparators(value);
    return String(u"/tmp");
}

String getCurrentDirectory() {
    std::vector<char> buffer(512);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()))
            return trimTrailingSeparators(String::fromUtf8(buffer.data()));
        if (errno != ERANGE || buffer.size() >= (1u << 20)) return String();
        buffer.resize(buffer.size() * 2);
    }
}

bool setCurrentDirectory(String const& path) {
    std::string native = detail::nativePath(path);
    return !native.empty() && ::chdir(native.c_str()) == 0;
}

}  // namespace core
}  // namespace gt
