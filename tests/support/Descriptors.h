// Counting the descriptors this process holds, to see that none leak, and
// making room for many of them.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace gt {
namespace test {

// Entries of /proc/self/fd (the directory's own descriptor included), or -1.
inline int openDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    while (readdir(dir) != nullptr)
        ++count;
    closedir(dir);
    return count;
}

// Raises the soft limit of open descriptors to at least n; *tooLow is set
// when the hard limit does not allow it (the caller skips). Run it under
// ASSERT_NO_FATAL_FAILURE: a failing call fails the test.
inline void raiseDescriptorLimit(rlim_t n, bool* tooLow) {
    *tooLow = false;
    rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur >= n) return;
    if (limit.rlim_max < n) {
        *tooLow = true;
        return;
    }
    rlimit raised = limit;
    raised.rlim_cur = n;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
}

}  // namespace test
}  // namespace gt
