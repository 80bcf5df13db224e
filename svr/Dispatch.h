// The command line of the service program: exactly one option, the first
// argument, compared case-sensitively; the exit code tells the caller (the
// desktop client) success (0), another instance (4) or failure (9).
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

class ServiceAction;

enum ExitCode { EXIT_OK = 0, EXIT_LOCKED = 4, EXIT_FAILED = 9 };

struct SvrOption {
    char16_t const* word;
    int (*action)(ServiceAction& services);
};

// The option of that exact word, or null.
SvrOption const* findOption(gt::core::String const& word);

int dispatchArg(int argc, char** argv);

// Writes the word into the running instance's signal file. False (and a
// stale file removed) when no instance holds the lock; false when the file
// is absent or still holds a command.
bool sendSignal(gt::core::String const& word);
// "exit", then waits up to 5 s until the instance released its lock.
bool sendExit();

}  // namespace tunnel
