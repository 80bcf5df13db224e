#include "gt/svc/ServiceRegistry.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "gt/core/lang/SystemError.h"
#include "gt/core/lang/Thread.h"

namespace gt {
namespace svc {
namespace detail {

namespace {

// Values of the key=value files never hold line ends: the writers refuse
// control characters in every text they store.
void putLine(std::string& out, char const* key, std::string const& value) {
    out += key;
    out += '=';
    out += value;
    out += '\n';
}

void putLine(std::string& out, char const* key, long long value) { putLine(out, key, std::to_string(value)); }

bool findValue(std::string const& text, char const* key, std::string* value) {
    std::string prefix = std::string(key) + "=";
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        if (text.compare(pos, prefix.size(), prefix) == 0) {
            *value = text.substr(pos + prefix.size(), end - pos - prefix.size());
            return true;
        }
        pos = end + 1;
    }
    return false;
}

bool findNumber(std::string const& text, char const* key, long long* value) {
    std::string s;
    if (!findValue(text, key, &s) || s.empty() || s.size() > 20) return false;
    char* end = nullptr;
    errno = 0;
    long long v = ::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *value = v;
    return true;
}

bool findInt(std::string const& text, char const* key, int* value) {
    long long v = 0;
    if (!findNumber(text, key, &v) || v < -2147483647LL - 1 || v > 2147483647LL) return false;
    *value = static_cast<int>(v);
    return true;
}

}  // namespace

int openRegularFile(std::string const& path, int flags, bool quietWhenMissing) {
    // Never blocks (a FIFO would wait for a writer) and never follows a link.
    int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, 0600);
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
        ::fprintf(stderr, "service manager: %s is not a regular file\n", path.c_str());
        errno = error == 0 ? EINVAL : error;
    } else {
        ::fprintf(stderr, "service manager: cannot open %s: %s\n", path.c_str(),
                  toUtf8(core::systemErrorText(error)).c_str());
        errno = error;
    }
    return -1;
}

// Stored texts keep every character (the path conversion would turn '\' into '/').
std::string toUtf8(core::String const& s) {
    std::string out;
    out.reserve(static_cast<size_t>(s.length()));
    for (int i = 0; i < s.length(); ++i) {
        unsigned c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.length() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned>(s[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

ServiceRegistry::ServiceRegistry(std::string folder) : m_folder(std::move(folder)) {}

ServiceRegistry::~ServiceRegistry() { unlock(); }

bool ServiceRegistry::ensureFolder() const {
    if (m_folder.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = m_folder.find('/', pos + 1);
        partial = m_folder.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            ::fprintf(stderr, "service manager: cannot create %s: %s\n", partial.c_str(),
                      toUtf8(core::systemErrorText(errno)).c_str());
            return false;
        }
    }
    struct stat st;
    return ::stat(m_folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ServiceRegistry::lock(int timeoutMs) {
    if (m_lockFd >= 0) return true;
    if (!ensureFolder()) return false;
    std::string name = m_folder + "/.lock";
    int fd = openRegularFile(name, O_RDWR | O_CREAT, false);
    if (fd < 0) return false;
    long long until = nowMs() + timeoutMs;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            ::fprintf(stderr, "service manager: cannot lock %s: %s\n", name.c_str(),
                      toUtf8(core::systemErrorText(errno)).c_str());
            ::close(fd);
            return false;
        }
        if (nowMs() >= until) {
            ::fprintf(stderr, "service manager: %s stays locked\n", name.c_str());
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

std::string ServiceRegistry::keyOf(core::String const& name) {
    if (name.isEmpty() || name.length() > 256 || name[0] == u'.') return std::string();
    core::String lower = name;
    for (int i = 0; i < lower.length(); ++i) {
        core::Char c = lower[i];
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\') return std::string();
        if (c >= u'A' && c <= u'Z') lower[i] = static_cast<core::Char>(c + 32);
    }
    return toUtf8(lower);
}

std::string ServiceRegistry::path(std::string const& key, char const* suffix) const {
    return m_folder + "/" + key + suffix;
}

int ServiceRegistry::readRecord(std::string const& key, ServiceConfig* config) const {
    std::string text;
    int r = readSmallFile(path(key, ".service"), &text);
    if (r <= 0) return r;
    std::string name, display, command;
    int start = 0;
    long long deleted = 0;
    if (!findValue(text, "name", &name) || !findValue(text, "display", &display) ||
        !findValue(text, "command", &command) || !findInt(text, "start", &start)) {
        ::fprintf(stderr, "service manager: malformed record %s\n", path(key, ".service").c_str());
        return -1;
    }
    findNumber(text, "deleted", &deleted);
    config->name = core::String::fromUtf8(name.data(), static_cast<int>(name.size()));
    config->displayName = core::String::fromUtf8(display.data(), static_cast<int>(display.size()));
    config->commandLine = core::String::fromUtf8(command.data(), static_cast<int>(command.size()));
    config->startType = start;
    config->markedForDelete = deleted != 0;
    return 1;
}

bool ServiceRegistry::writeRecord(std::string const& key, ServiceConfig const& config) const {
    std::string text;
    putLine(text, "name", toUtf8(config.name));
    putLine(text, "display", toUtf8(config.displayName));
    putLine(text, "command", toUtf8(config.commandLine));
    putLine(text, "start", config.startType);
    putLine(text, "deleted", config.markedForDelete ? 1 : 0);
    return writeFileAtomically(path(key, ".service"), text);
}

int ServiceRegistry::readState(std::string const& key, StateRecord* state) const {
    std::string text;
    int r = readSmallFile(path(key, ".state"), &text);
    if (r <= 0) return r;
    StateRecord s;
    long long connected = 0;
    if (!findInt(text, "state", &s.status.state) || s.status.state < SERVICE_STOPPED ||
        s.status.state > SERVICE_RUNNING || !findInt(text, "pid", &s.status.processId)) {
        ::fprintf(stderr, "service manager: malformed state %s\n", path(key, ".state").c_str());
        return -1;
    }
    findInt(text, "accepted", &s.status.controlsAccepted);
    findInt(text, "exit", &s.status.exitCode);
    findInt(text, "checkpoint", &s.status.checkPoint);
    findInt(text, "waithint", &s.status.waitHint);
    findNumber(text, "starttime", &s.startTime);
    findNumber(text, "connected", &connected);
    findValue(text, "token", &s.token);
    s.connected = connected != 0;
    *state = s;
    return 1;
}

bool ServiceRegistry::writeState(std::string const& key, StateRecord const& state) const {
    std::string text;
    putLine(text, "state", state.status.state);
    putLine(text, "accepted", state.status.controlsAccepted);
    putLine(text, "exit", state.status.exitCode);
    putLine(text, "checkpoint", state.status.checkPoint);
    putLine(text, "waithint", state.status.waitHint);
    putLine(text, "pid", state.status.processId);
    putLine(text, "starttime", state.startTime);
    putLine(text, "token", state.token);
    putLine(text, "connected", state.connected ? 1 : 0);
    return writeFileAtomically(path(key, ".state"), text);
}

void ServiceRegistry::removeService(std::string const& key) const {
    ::unlink(path(key, ".service").c_str());
    ::unlink(path(key, ".state").c_str());
}

bool ServiceRegistry::keys(std::vector<std::string>* out) const {
    out->clear();
    DIR* dir = ::opendir(m_folder.c_str());
    if (!dir) return errno == ENOENT;
    static char const suffix[] = ".service";
    size_t const n = sizeof(suffix) - 1;
    while (struct dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > n && name[0] != '.' && name.compare(name.size() - n, n, suffix) == 0) {
            out->push_back(name.substr(0, name.size() - n));
        }
    }
    ::closedir(dir);
    std::sort(out->begin(), out->end());
    return true;
}

long long ServiceRegistry::processStartTime(int pid) {
    if (pid <= 0) return 0;
    std::string text;
    if (readSmallFile("/proc/" + std::to_string(pid) + "/stat", &text, 4096) <= 0) return 0;
    size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    // Fields after the command: state is the 3rd field, starttime the 22nd.
    size_t pos = close + 1;
    int field = 2;
    std::string stateField;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        size_t end = text.find(' ', pos);
        if (end == std::string::npos) end = text.size();
        ++field;
        if (field == 3) stateField = text.substr(pos, end - pos);
        if (field == 22) {
            if (stateField == "Z" || stateField == "X" || stateField == "x") return 0;
            return ::strtoll(text.substr(pos, end - pos).c_str(), nullptr, 10);
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

std::string ServiceRegistry::newToken() {
    unsigned char bytes[12];
    size_t got = 0;
    while (got < sizeof(bytes)) {
        ssize_t n = ::getrandom(bytes + got, sizeof(bytes) - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            // Unlikely; the token only has to differ between starts.
            unsigned long long t = static_cast<unsigned long long>(nowMs()) ^
                                   (static_cast<unsigned long long>(::getpid()) << 32);
            for (size_t i = got; i < sizeof(bytes); ++i)
                bytes[i] = static_cast<unsigned char>(t >> (8 * (i % 8)));
            break;
        }
        got += static_cast<size_t>(n);
    }
    static char const hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

bool ServiceRegistry::refresh(std::string const& key, ServiceConfig* config, StateRecord* state,
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

bool writeFileAtomically(std::string const& path, std::string const& content) {
    std::string temp = path + ".tmp" + std::to_string(::getpid());
    // Whatever a crash (or someone else) left under the temporary name goes;
    // the file is then made new, never opened through a link.
    ::unlink(temp.c_str());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        ::fprintf(stderr, "service manager: cannot write %s: %s\n", temp.c_str(),
                  toUtf8(core::systemErrorText(errno)).c_str());
        return false;
    }
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::fprintf(stderr, "service manager: cannot write %s: %s\n", temp.c_str(),
                      toUtf8(core::systemErrorText(errno)).c_str());
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fdatasync(fd) != 0 || ::close(fd) != 0) {
        ::fprintf(stderr, "service manager: cannot write %s: %s\n", temp.c_str(),
                  toUtf8(core::systemErrorText(errno)).c_str());
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::fprintf(stderr, "service manager: cannot replace %s: %s\n", path.c_str(),
                  toUtf8(core::systemErrorText(errno)).c_str());
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

int readSmallFile(std::string const& path, std::string* out, size_t maxBytes) {
    out->clear();
    int fd = openRegularFile(path, O_RDONLY, true);
    if (fd < 0) return errno == ENOENT ? 0 : -1;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0) {
            if (errno == EINTR) continue;
            ::fprintf(stderr, "service manager: cannot read %s: %s\n", path.c_str(),
                      toUtf8(core::systemErrorText(errno)).c_str());
            ::close(fd);
            return -1;
        }
        if (n == 0) break;
        if (out->size() + static_cast<size_t>(n) > maxBytes) {
            ::fprintf(stderr, "service manager: %s is larger than %zu bytes\n", path.c_str(), maxBytes);
            ::close(fd);
            return -1;
        }
        out->append(buffer, static_cast<size_t>(n));
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
