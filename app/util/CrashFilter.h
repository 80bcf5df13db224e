// The client's last word on a crash: a fault, an illegal instruction or an
// abort in any thread leaves one report block in "assert.log" beside the
// program (the format of gt/core/lang/Fatal.h, with "Error Code:<signal>,
// Error Address:<instruction>" as the report, the program's path as the file
// and line 0), then the process ends by the same signal, so the parent still
// sees what killed it.
//
// The handler runs in signal context: it calls only async-signal-safe
// functions (clock_gettime, open, write, close, sigaction, raise, pause) on
// texts prepared by installCrashFilter(), and formats numbers and the time
// itself. It runs on the crashing thread's alternate stack (the installing
// thread's, and the one gt::core::Thread gives each thread it starts), so a
// stack overflow there is reported too.
#pragma once

#include <csignal>

namespace tunnel {

// Installs the handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT and
// SIGSYS and the calling thread's alternate signal stack. Call it first in
// main, before any other thread exists. False when a handler could not be
// installed.
bool installCrashFilter();

// The handler itself (sigaction form).
void crashFilter(int signal, siginfo_t* info, void* context);

}  // namespace tunnel
