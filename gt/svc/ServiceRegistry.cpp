#include "gt/svc/ServiceRegistry.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "gt/core/io/Console.h"
#include "gt/core/io/FileSystem.h"
#include "gt/core/io/NativePath.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/NumberText.h"
#include "gt/core/lang/SystemError.h"
#include "gt/core/util/GUID.h"

namespace gt {
namespace svc {
namespace detail {

using core::String;

namespace {

constexpr core::Char const* kRecordSuffix = u".service";
constexpr core::Char const* kStateSuffix = u".state";

// Values of the key=value files never hold line ends: the writers refuse
// control characters in every text they store.
void putLine(String& out, core::Char const* key, String const& value) {
    out += key;
    out += u'=';
    out += value;
    out += u'\n';
}

void putLine(String& out, core::Char const* key, long long value) {
    putLine(out, key, core::detail::formatDecimal(value));
}

bool findValue(String const& text, core::Char const* key, String* value) {
    String const prefix = String(key) + u'=';
    int pos = 0;
    while (pos < text.length()) {
        int end = text.indexOf(u'\n', pos);
        if (end < 0) end = text.length();
        if (end - pos >= prefix.length() && text.compareAt(pos, prefix.length(), prefix) == 0) {
            *value = text.mid(pos + prefix.length(), end - pos - prefix.length());
            return true;
        }
        pos = end + 1;
    }
    return false;
}

// Only a whole decimal number counts ("12x", "" and "+1" do not).
bool findNumber(String const& text, core::Char const* key, long long* value) {
    String s;
    if (!findValue(text, key, &s)) return false;
    int const first = s.startsWith(u"-") ? 1 : 0;
    if (s.length() == first || s.length() - first > 18) return false;
    for (int i = first; i < s.length(); ++i) {
        if (s[i] < u'0' || s[i] > u'9') return false;
    }
    *value = core::detail::parseDecimal(s, LLONG_MIN, LLONG_MAX);
    return true;
}

bool findInt(String const& text, core::Char const* key, int* value) {
    long long v = 0;
    if (!findNumber(text, key, &v) || v < INT_MIN || v > INT_MAX) return false;
    *value = static_cast<int>(v);
    return true;
}

// The whole file as text; 1 read, 0 missing, -1 refused (reason reported).
int readText(String const& path, String* text) {
    core::Binary data;
    int r = readSmallFile(path, &data);
    if (r > 0) *text = data.utf8ToString();
    return r;
}

}  // namespace

ServiceRegistry::ServiceRegistry(String const& folder) : m_folder(folder) {}

ServiceRegistry::~ServiceRegistry() { unlock(); }

bool ServiceRegistry::ensureFolder() const { return makeFolder(m_folder); }

bool ServiceRegistry::lock(int timeoutMs) {
    if (m_lockFd >= 0) return true;
    if (!ensureFolder()) return false;
    String const name = m_folder + u"/.lock";
    int fd = openRegularFile(name, O_RDWR | O_CREAT, false);
    if (fd < 0) return false;
    long long until = nowMs() + timeoutMs;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            report(u"service manager: cannot lock " + name + u": " + core::systemErrorText(errno));
            ::close(fd);
            return false;
        }
        if (nowMs() >= until) {
            report(u"service manager: " + name + u" stays locked");
            ::close(fd);
            return false;
        }
        core::Thread::sleep(2);
    }
    m_lockFd = fd;
    return true;
}

void ServiceRegistry::unlock() {
    if (m_lockFd < 0) return;
    ::flock(m_lockFd, LOCK_UN);
    ::close(m_lockFd);
    m_lockFd = -1;
}

String ServiceRegistry::keyOf(String const& name) {
    if (name.isEmpty() || name.length() > 256 || name[0] == u'.') return String();
    for (int i = 0; i < name.length(); ++i) {
        core::Char c = name[i];
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\') return String();
    }
    return name.toLower();
}

String ServiceRegistry::path(String const& key, core::Char const* suffix) const {
    return m_folder + u"/" + key + suffix;
}

int ServiceRegistry::readRecord(String const& key, ServiceConfig* config) const {
    String text;
    int r = readText(path(key, kRecordSuffix), &text);
    if (r <= 0) return r;
    ServiceConfig found;
    long long deleted = 0;
    if (!findValue(text, u"name", &found.name) || !findValue(text, u"display", &found.displayName) ||
        !findValue(text, u"command", &found.commandLine) || !findInt(text, u"start", &found.startType)) {
        report(u"service manager: malformed record " + path(key, kRecordSuffix));
        return -1;
    }
    findNumber(text, u"deleted", &deleted);
    found.markedForDelete = deleted != 0;
    *config = found;
    return 1;
}

bool ServiceRegistry::writeRecord(String const& key, ServiceConfig const& config) const {
    String text;
    putLine(text, u"name", config.name);
    putLine(text, u"display", config.displayName);
    putLine(text, u"command", config.commandLine);
    putLine(text, u"start", config.startType);
    putLine(text, u"deleted", config.markedForDelete ? 1 : 0);
    return writeFileAtomically(path(key, kRecordSuffix), text.toBinary());
}

int ServiceRegistry::readState(String const& key, StateRecord* state) const {
    String text;
    int r = readText(path(key, kStateSuffix), &text);
    if (r <= 0) return r;
    StateRecord s;
    long long connected = 0;
    if (!findInt(text, u"state", &s.status.state) || s.status.state < SERVICE_STOPPED ||
        s.status.state > SERVICE_RUNNING || !findInt(text, u"pid", &s.status.processId)) {
        report(u"service manager: malformed state " + path(key, kStateSuffix));
        return -1;
    }
    findInt(text, u"accepted", &s.status.controlsAccepted);
    findInt(text, u"exit", &s.status.exitCode);
    findInt(text, u"checkpoint", &s.status.checkPoint);
    findInt(text, u"waithint", &s.status.waitHint);
    findNumber(text, u"starttime", &s.startTime);
    findNumber(text, u"connected", &connected);
    findValue(text, u"token", &s.token);
    s.connected = connected != 0;
    *state = s;
    return 1;
}

bool ServiceRegistry::writeState(String const& key, StateRecord const& state) const {
    String text;
    putLine(text, u"state", state.status.state);
    putLine(text, u"accepted", state.status.controlsAccepted);
    putLine(text, u"exit", state.status.exitCode);
    putLine(text, u"checkpoint", state.status.checkPoint);
    putLine(text, u"waithint", state.status.waitHint);
    putLine(text, u"pid", state.status.processId);
    putLine(text, u"starttime", state.startTime);
    putLine(text, u"token", state.token);
    putLine(text, u"connected", state.connected ? 1 : 0);
    return writeFileAtomically(path(key, kStateSuffix), text.toBinary());
}

void ServiceRegistry::removeService(String const& key) const {
    ::unlink(core::detail::nativePath(path(key, kRecordSuffix)).c_str());
    ::unlink(core::detail::nativePath(path(key, kStateSuffix)).c_str());
}

bool ServiceRegistry::keys(std::vector<String>* out) const {
    out->clear();
    std::vector<String> names;
    if (!core::detail::listEntries(m_folder, true, false, names)) {
        if (errno == ENOENT) return true;
        report(u"service manager: cannot read " + m_folder + u": " + core::systemErrorText(errno));
        return false;
    }
    // In byte order of the names, as listed.
    String const suffix(kRecordSuffix);
    for (auto const& name : names) {
        if (name.length() > suffix.length() && name[0] != u'.' && name.endsWith(suffix)) {
            out->push_back(name.left(name.length() - suffix.length()));
        }
    }
    return true;
}

long long ServiceRegistry::processStartTime(int pid) {
    if (pid <= 0) return 0;
    core::Binary data;
    if (readSmallFile(u"/proc/" + core::detail::formatDecimal(pid) + u"/stat", &data, 4096) <= 0) return 0;
    // The command (field 2) stands in parentheses and may hold anything;
    // the fields after its last ')' are plain: state is the 3rd, the start
    // time the 22nd.
    int close = data.lastIndexOf(')');
    if (close < 0) return 0;
    String const rest = data.mid(close + 1, data.length() - close - 1).utf8ToString();
    int pos = 0;
    int field = 2;
    String stateField;
    while (pos < rest.length()) {
        while (pos < rest.length() && rest[pos] == u' ')
            ++pos;
        int end = rest.indexOf(u' ', pos);
        if (end < 0) end = rest.length();
        ++field;
        if (field == 3) stateField = rest.mid(pos, end - pos);
        if (field == 22) {
            if (stateField == u"Z" || stateField == u"X" || stateField == u"x") return 0;
            return core::detail::parseDecimal(rest.mid(pos, end - pos), 0, LLONG_MAX);
        }
        pos = end;
    }
    return 0;
}

bool ServiceRegistry::isAlive(int pid, long long startTime) {
    if (pid <= 0 || startTime == 0) return false;
    if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
    return processStartTime(pid) == startTime;
}

int ServiceRegistry::signalProcess(int pid, long long startTime, int sig) {
    if (pid <= 0 || startTime == 0) return ESRCH;
    // A pidfd holds on to the process the pid names now: when the start time
    // read afterwards is ours, the process behind the pidfd is ours (a
    // process that ended meanwhile makes the send fail, it never reaches
    // the next owner of the number).
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0 && errno != ENOSYS) return errno;
    int error = 0;
    if (processStartTime(pid) != startTime) {
        error = ESRCH;
    } else if (fd >= 0 ? ::syscall(SYS_pidfd_send_signal, fd, sig, nullptr, 0) != 0 : ::kill(pid, sig) != 0) {
        error = errno;
    }
    if (fd >= 0) ::close(fd);
    return error;
}

String ServiceRegistry::newToken() {
    String token = core::GUID().toString();
    // All zero when the system's random source failed; the token only has
    // to differ between starts.
    if (token == String(token.length(), u'0')) {
        token = core::detail::formatHex(nowMs()) + u"-" + core::detail::formatHex(::getpid());
    }
    return token;
}

bool ServiceRegistry::refresh(String const& key, ServiceConfig* config, StateRecord* state,
                              bool* exists) const {
    *exists = false;
    int r = readRecord(key, config);
    if (r < 0) return false;
    if (r == 0) return true;
    *exists = true;
    r = readState(key, state);
    if (r < 0) return false;
    if (r == 0) {
        *state = StateRecord();
        return true;
    }
    if (state->status.state != SERVICE_STOPPED && !isAlive(state->status.processId, state->startTime)) {
        state->status = ServiceStatus();
        state->status.exitCode = SERVICE_ERROR_PROCESS_ABORTED;
        state->connected = false;
        if (config->markedForDelete) {
            removeService(key);
            *exists = false;
            return true;
        }
        if (!writeState(key, *state)) return false;
    }
    return true;
}

void report(String const& line) { core::Console::printlnError(line); }

bool makeFolder(String const& folder) {
    if (folder.isEmpty()) return false;
    if (core::createDirectories(folder, 0700)) return true;
    report(u"service manager: cannot create " + folder + u": " + core::systemErrorText(errno));
    return false;
}

int openRegularFile(String const& path, int flags, bool quietWhenMissing) {
    std::string const native = core::detail::nativePath(path);
    // Never blocks (a FIFO would wait for a writer) and never follows a link.
    int fd = ::open(native.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, 0600);
    int error = fd < 0 ? errno : 0;
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) != 0) error = errno;
    if (error == 0 && S_ISREG(st.st_mode)) {
        // Plain blocking I/O on the file from here on (and in a child it is handed to).
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }
    if (fd >= 0) ::close(fd);
    if (error == ENOENT && quietWhenMissing) {
        errno = ENOENT;
        return -1;
    }
    // ELOOP: a link; ENXIO: a FIFO without a reader or a socket, opened for writing.
    if (error == 0 || error == ELOOP || error == ENXIO) {
        report(u"service manager: " + path + u" is not a regular file");
        error = error == 0 ? EINVAL : error;
    } else {
        report(u"service manager: cannot open " + path + u": " + core::systemErrorText(error));
    }
    errno = error;
    return -1;
}

bool writeFileAtomically(String const& path, core::Binary const& content) {
    String const temp = path + u".tmp" + core::detail::formatDecimal(::getpid());
    std::string const nativeTemp = core::detail::nativePath(temp);
    auto fail = [&](String const& what) {
        report(u"service manager: cannot " + what + u": " + core::systemErrorText(errno));
        ::unlink(nativeTemp.c_str());
        return false;
    };
    // Whatever a crash (or someone else) left under the temporary name goes;
    // the file is then made new, never opened through a link.
    ::unlink(nativeTemp.c_str());
    int fd = ::open(nativeTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return fail(u"write " + temp);
    int done = 0;
    while (done < content.length()) {
        ssize_t n = ::write(fd, content.data() + done, static_cast<size_t>(content.length() - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            int const error = errno;
            ::close(fd);
            errno = error;
            return fail(u"write " + temp);
        }
        done += static_cast<int>(n);
    }
    if (::fdatasync(fd) != 0) {
        int const error = errno;
        ::close(fd);
        errno = error;
        return fail(u"write " + temp);
    }
    if (::close(fd) != 0) return fail(u"write " + temp);
    if (::rename(nativeTemp.c_str(), core::detail::nativePath(path).c_str()) != 0)
        return fail(u"replace " + path);
    return true;
}

int readSmallFile(String const& path, core::Binary* out, int maxBytes) {
    out->clear();
    int fd = openRegularFile(path, O_RDONLY, true);
    if (fd < 0) return errno == ENOENT ? 0 : -1;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0) {
            if (errno == EINTR) continue;
            report(u"service manager: cannot read " + path + u": " + core::systemErrorText(errno));
            ::close(fd);
            return -1;
        }
        if (n == 0) break;
        if (out->length() + n > maxBytes) {
            report(u"service manager: " + path + u" is larger than " + core::detail::formatDecimal(maxBytes) +
                   u" bytes");
            ::close(fd);
            out->clear();
            return -1;
        }
        out->append(buffer, static_cast<int>(n));
    }
    ::close(fd);
    return 1;
}

long long nowMs() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int environmentMs(char const* name, int fallback) {
    char const* value = ::getenv(name);
    if (!value || !*value) return fallback;
    char* end = nullptr;
    long v = ::strtol(value, &end, 10);
    if (*end != '\0' || v <= 0 || v > 3600000) return fallback;
    return static_cast<int>(v);
}

}  // namespace detail
}  // namespace svc
}  // namespace gt
