#include "gt/core/lang/LibraryStartup.h"

#include <signal.h>
#include <sys/resource.h>
#include <time.h>

#include <atomic>

#include "gt/core/lang/Random.h"

int gtCoreLibraryStartup = 1;  // C linkage from the header

namespace gt {
namespace core {

namespace {
std::atomic<bool> s_done{false};
}

LibraryStartup::LibraryStartup() {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);

    srand(static_cast<unsigned>(::time(nullptr)));

    struct rlimit files;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    s_done = true;
}

bool LibraryStartup::isDone() { return s_done; }

namespace {
// Before the global objects of the programs' own source files.
LibraryStartup s_startup __attribute__((init_priority(101)));
}  // namespace

}  // namespace core
}  // namespace gt
