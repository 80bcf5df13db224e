// The local target of the side-by-side benchmark, run in a process of its
// own. The first byte of a connection chooses what it is: 'S' sink (counts
// into the shared figures until end of file), 'G' + 8 bytes n: writes n
// bytes and closes, 'E' echo. Connections that send nothing are held idle in
// an epoll set; each one that speaks gets a thread with a blocking socket.
#pragma once

namespace bench {

struct SharedFigures;

// Serves the connections of listener (a listening socket) for good,
// counting them and the sunk bytes into figures.
void runBlockingTarget(int listener, SharedFigures* figures);

}  // namespace bench
