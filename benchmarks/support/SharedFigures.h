// Figures the parties of the side-by-side benchmark (the target, the relay
// double) share with the benchmark process through anonymous shared memory.
#pragma once

#include <atomic>

namespace bench {

struct SharedFigures {
    // A zeroed instance in shared memory, seen by every child forked after
    // it; it lives as long as the benchmark.
    static SharedFigures* create();

    // The target: bytes its sinks took in, connections it accepted.
    std::atomic<long long> sunk;
    std::atomic<int> accepted;
    // Credit round trips the relay double sees, summed in nanoseconds, per
    // way. Toward the engine: from a DATA frame going out to the engine's
    // WINDOW that returns its bytes, weighted by the frame's bytes (frames
    // differ in size, and the mean time a byte of the window spends away is
    // what says how much of the window is in flight). From the engine: from
    // a WINDOW going out to the first DATA byte it lets the engine send, plus
    // the double's own time from taking DATA in to returning its credit.
    std::atomic<long long> downByteNs, downBytes;
    std::atomic<long long> upNs, upCount, upOwnNs, upOwnCount;

    void clearCredit();
    // Mean credit round trip in seconds, 0 without samples.
    double downLoop() const;
    double upLoop() const;
};

}  // namespace bench
