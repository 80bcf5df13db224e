// The engine as a benchmark runs it: one forward worker of
// tunnel::NatManager in a process of its own (a child of the benchmark), so
// that its memory and CPU time can be read alone.
#pragma once

#include <functional>

namespace bench {

// Runs a forward worker that tunnels through the relay at
// 127.0.0.1:relayPort to the target at 127.0.0.1:targetPort until until()
// returns. Standard output goes to /dev/null. With warningsToStderr the
// engine's warnings and errors go to standard error (so that a failed run
// shows its reason) and its info lines are dropped; without, every line is.
void runEngine(unsigned short relayPort, unsigned short targetPort, bool warningsToStderr,
               std::function<void()> const& until);

}  // namespace bench
