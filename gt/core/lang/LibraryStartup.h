// Process-wide start-up of the library, run before main.
//
// The library's shared objects (the empty String, Binary and Any, the path
// separator, the sequence counter and its lock) are built on first use, so
// they are ready in the constructors of any global object of the programs,
// whatever the order in which source files are initialised, and they live
// until the process ends. What must happen once before anything else runs is
// done here:
//   - SIGPIPE is ignored (a peer that goes away must not end the process;
//     sends report the failure instead);
//   - the start-up thread's rand() is seeded from the time;
//   - the soft limit on open descriptors is raised to the hard limit.
#pragma once

namespace gt {
namespace core {

class LibraryStartup {
public:
    LibraryStartup();
    LibraryStartup(LibraryStartup const&) = delete;
    LibraryStartup& operator=(LibraryStartup const&) = delete;
    virtual ~LibraryStartup() = default;

    // True once the start-up has run.
    static bool isDone();
};

}  // namespace core
}  // namespace gt

// Referenced by the link options of gt_core so that the start-up object is
// part of every program linked with the library.
extern "C" int gtCoreLibraryStartup;
