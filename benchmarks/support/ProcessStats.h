// The benchmarks' child processes and what /proc tells about a process: its
// resident memory, CPU time (per thread too) and open descriptors.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>

namespace bench {

// Forks a child that runs body and exits when it returns; the child is
// killed when the thread that forked it ends, so that it never outlives
// the benchmark. -1 when fork failed.
pid_t forkChild(std::function<void()> const& body);

// Raises this process's descriptor limit to its hard limit; the limit now
// in force, or -1 when it cannot be read.
long long raiseDescriptorLimit();

// Resident memory of a process; -1 when it cannot be read.
long long rssBytes(pid_t pid);

// CPU seconds a process has used so far, its finished children included.
double cpuSeconds(pid_t pid);

// CPU seconds each thread of a process has used so far, by thread id.
std::map<std::string, double> threadCpuSeconds(pid_t pid);

// How busy the busiest thread of a process was between two readings, as a
// share of one core over the seconds between them.
double busiestThread(std::map<std::string, double> const& before, std::map<std::string, double> const& after,
                     double elapsed);

// Descriptors a process holds open; -1 when they cannot be listed.
int openDescriptors(pid_t pid);

}  // namespace bench
