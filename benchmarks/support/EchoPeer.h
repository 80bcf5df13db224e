// Stands in for the engine behind a second relay double of the side-by-side
// benchmark, so that the round trip through the double alone can be told
// from the engine's share: it opens the tunnel, grants every channel a
// window, drops each channel's first byte (the target's mode byte) and sends
// every other DATA byte back.
#pragma once

namespace bench {

// Runs the peer against the relay double at 127.0.0.1:relayPort until that
// connection ends.
void runEchoPeer(unsigned short relayPort);

}  // namespace bench
