#include "gt/core/lang/Fatal.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "gt/core/io/File.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/lang/Binary.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/util/DateTime.h"

namespace gt {
namespace core {

namespace {

ErrorHandler s_handler = writeAssertLog;

// The thread that is reporting a fatal error, or the default id while none is.
std::atomic<std::thread::id> s_failing{std::thread::id()};

void writeAll(int fd, Binary const& bytes) {
    char const* p = bytes.data();
    int left = bytes.length();
    while (left > 0) {
        ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n <= 0) return;
        p += n;
        left -= static_cast<int>(n);
    }
}

}  // namespace

void raiseError(String const& message, String const& file, int line) {
    std::thread::id none;
    std::thread::id self = std::this_thread::get_id();
    if (s_failing.compare_exchange_strong(none, self)) {
        ErrorHandler handler = s_handler;
        if (handler) handler(message, file, line);
    } else if (none != self) {
        // Another thread is already reporting; it ends the process.
        for (;;)
            ::pause();
    }
    // Here also when the handler itself failed: its report is not repeated.
    std::fflush(nullptr);
    ::_exit(255);
}

void raiseAssert(char const* expression, char const* file, int line) {
    raiseError(Binary(expression ? expression : "").ansiToString(), detail::fileTag(file), line);
}

bool setErrorHandler(ErrorHandler handler, ErrorHandler* previous) {
    if (!handler) return false;
    if (previous) *previous = s_handler;
    s_handler = handler;
    return true;
}

void writeAssertLog(String const& message, String const& file, int line) {
    File::append(getProgramDirectory() + u"/assert.log",
                 detail::assertReport(message, file, line).toBinary());
}

void printAssert(String const& message, String const& file, int line) {
    std::fflush(stdout);
    writeAll(STDOUT_FILENO, detail::assertReport(message, file, line).toOem());
}

void showAssertBox(String const& message, String const& file, int line) {
    std::fflush(stderr);
    writeAll(STDERR_FILENO, (getProgramFile() + u"\r\n" + detail::assertReport(message, file, line)).toOem());
}

namespace detail {

String assertReport(String const& message, String const& file, int line) {
    String report(u"Program assert lunched.\r\n- Time:   ");
    report.append(DateTime::now().toString());
    report.append(u"\r\n- File:   ");
    report.append(file);
    report.append(u"\r\n- Line:   ");
    report.append(Integer(line).toString());
    report.append(u"\r\n- Report: ");
    report.append(message);
    report.append(u"\r\n\r\n");
    return report;
}

String fileTag(char const* path) {
    if (!path) return String();
    char const* end = path + std::strlen(path);
    // The extension goes, when the file name has one.
    char const* stop = end;
    for (char const* p = end; p > path; --p) {
        char c = p[-1];
        if (c == '/' || c == '\\') break;
        if (c == '.') {
            stop = p - 1;
            break;
        }
    }
    // Start behind the second separator from the end (or at the beginning).
    char const* start = path;
    int separators = 0;
    for (char const* p = stop; p > path; --p) {
        if (p[-1] == '/' || p[-1] == '\\') {
            if (++separators == 2) {
                start = p;
                break;
            }
        }
    }
    String tag = Binary(start, stop).ansiToString();
    tag.replace(u'\\', u'/');
    return tag;
}

}  // namespace detail

}  // namespace core
}  // namespace gt
