// Counting the descriptors this process holds, to see that none leak.
#pragma once

#include <dirent.h>

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

}  // namespace test
}  // namespace gt
