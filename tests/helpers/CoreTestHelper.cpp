// Child program for the core tests. The first argument names what to do:
//   exit N          exit with code N
//   fds             print the numbers of our open descriptors, one a line
//   cat             copy standard input to standard output
//   sleep MS        sleep, then exit 0
//   assert          print the line number of, then fail, the assertion "x > 0"
//   throw-int       a Thread body throws 7
//   throw-exception a Thread body throws NotSupportException("x")
//   throw-other     a Thread body throws a double
//   program-file    print getProgramFile()
//   session         print our process id and our session id
//   race            two threads raise fatal errors at the same moment
//   reenter         the error handler itself raises a fatal error
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "gt/core/io/SystemFolders.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/Binary.h"
#include "gt/core/lang/Exception.h"
#include "gt/core/lang/Fatal.h"

using namespace gt::core;

namespace {

volatile int g_zero = 0;

void throwInBody(std::function<void()> const& body) {
    Thread thread;
    thread.start(body);
    Thread::sleep(10000);
}

void reenteringHandler(String const& message, String const& file, int line) {
    writeAssertLog(message, file, line);
    raiseError(String(u"again"), file, line + 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "";
    if (what == "exit" && argc > 2) return std::atoi(argv[2]);
    if (what == "fds") {
        DIR* dir = ::opendir("/proc/self/fd");
        if (!dir) return 2;
        int own = ::dirfd(dir);
        while (dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            int fd = std::atoi(entry->d_name);
            if (fd != own) std::printf("%d\n", fd);
        }
        ::closedir(dir);
        return 0;
    }
    if (what == "program-file") {
        Binary path = getProgramFile().toBinary();
        std::fwrite(path.data(), 1, static_cast<size_t>(path.length()), stdout);
        return 0;
    }
    if (what == "session") {
        std::printf("%d %d\n", static_cast<int>(::getpid()), static_cast<int>(::getsid(0)));
        return 0;
    }
    if (what == "cat") {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(0, buffer, sizeof buffer)) > 0) {
            if (::write(1, buffer, static_cast<size_t>(n)) != n) return 3;
        }
        return 0;
    }
    if (what == "sleep" && argc > 2) {
        Thread::sleep(std::atoi(argv[2]));
        return 0;
    }
    if (what == "assert") {
        int x = g_zero;
        std::printf("%d\n", __LINE__ + 2);  // tells the test which line fails
        std::fflush(stdout);
        GT_ASSERT(x > 0);
        return 0;
    }
    if (what == "throw-int") throwInBody([] { throw 7; });
    if (what == "throw-exception") throwInBody([] { throw NotSupportException(String(u"x")); });
    if (what == "throw-other") throwInBody([] { throw 1.5; });
    if (what == "race") {
        std::thread a([] { raiseError(String(u"first"), String(u"race"), 1); });
        std::thread b([] { raiseError(String(u"second"), String(u"race"), 2); });
        a.join();
        b.join();
        return 0;
    }
    if (what == "reenter") {
        setErrorHandler(reenteringHandler, nullptr);
        raiseError(String(u"once"), String(u"reenter"), 1);
    }
    return 100;
}
