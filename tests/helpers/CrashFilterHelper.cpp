// Child program for the crash filter's tests: installs the client's crash
// filter, then fails the way its first argument names:
//   segv          writes into a page that may not be written
//   overflow      recurses until the stack is gone
//   abort         calls abort()
//   thread-segv   a second thread does the same
//   thread-overflow  a thread of ours (gt::core::Thread) recurses until its
//                 stack is gone
//   race          two threads do it at the same moment
//   none          exits with 0
#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/util/CrashFilter.h"
#include "gt/core/io/Thread.h"

namespace {

// A real fault: a page without access (a null pointer would be caught by the
// sanitizer build before the processor faults).
int* volatile s_locked = nullptr;
std::atomic<int> s_ready{0};

void writeLocked() { *s_locked = 1; }

int recurse(int depth);
// Called through a pointer the compiler cannot see through: the recursion is
// the point.
int (*volatile s_recurse)(int) = recurse;

int recurse(int depth) {
    volatile char block[4096];
    block[0] = static_cast<char>(depth);
    return s_recurse(depth + 1) + block[0];
}

void raceOne() {
    s_ready.fetch_add(1);
    while (s_ready.load() < 2) {
    }
    writeLocked();
}

}  // namespace

int main(int argc, char** argv) {
    if (!tunnel::installCrashFilter()) return 3;
    void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) return 4;
    s_locked = static_cast<int*>(page);
    char const* what = argc > 1 ? argv[1] : "";
    if (std::strcmp(what, "segv") == 0) writeLocked();
    if (std::strcmp(what, "overflow") == 0) return recurse(0);
    if (std::strcmp(what, "abort") == 0) std::abort();
    if (std::strcmp(what, "thread-segv") == 0) {
        std::thread(writeLocked).join();
    }
    if (std::strcmp(what, "thread-overflow") == 0) {
        gt::core::Thread thread;
        std::atomic<bool> ended{false};
        thread.start([&ended] {
            recurse(0);
            ended = true;
        });
        while (!ended.load())
            gt::core::Thread::sleep(10);
    }
    if (std::strcmp(what, "race") == 0) {
        std::thread a(raceOne);
        std::thread b(raceOne);
        a.join();
        b.join();
    }
    return 0;
}
