#include "benchmarks/support/ProcessStats.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace bench {

namespace {

// CPU seconds of a /proc stat file (a process's or one thread's): user and
// system time, and the finished children's too when children is set.
double statCpuSeconds(std::string const& path, bool children) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t const close = text.rfind(')');
    if (close == std::string::npos) return 0;
    // Fields from the state on: utime is the 12th, stime, cutime, cstime follow.
    char const* p = text.c_str() + close + 2;
    for (int field = 0; field < 11 && *p; ++field) {
        char const* space = std::strchr(p, ' ');
        p = space ? space + 1 : "";
    }
    long long ticks = 0;
    for (int i = 0; i < (children ? 4 : 2) && *p; ++i) {
        char* end = nullptr;
        ticks += std::strtoll(p, &end, 10);
        p = end;
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace

pid_t forkChild(std::function<void()> const& body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the benchmark
        body();
        ::_exit(0);
    }
    return pid;
}

long long raiseDescriptorLimit() {
    rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<long long>(limit.rlim_cur);
}

long long rssBytes(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) return std::atoll(line.c_str() + 6) * 1024;
    }
    return -1;
}

double cpuSeconds(pid_t pid) { return statCpuSeconds("/proc/" + std::to_string(pid) + "/stat", true); }

std::map<std::string, double> threadCpuSeconds(pid_t pid) {
    std::map<std::string, double> out;
    std::string const folder = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return out;
    while (dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        out[e->d_name] = statCpuSeconds(folder + "/" + e->d_name + "/stat", false);
    }
    ::closedir(dir);
    return out;
}

double busiestThread(std::map<std::string, double> const& before, std::map<std::string, double> const& after,
                     double elapsed) {
    double most = 0;
    for (auto const& t : after) {
        auto const was = before.find(t.first);
        most = std::max(most, t.second - (was == before.end() ? 0 : was->second));
    }
    return elapsed > 0 ? most / elapsed : 0;
}

int openDescriptors(pid_t pid) {
    DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!dir) return -1;
    int n = 0;
    while (dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.') ++n;
    ::closedir(dir);
    return n;
}

}  // namespace bench
