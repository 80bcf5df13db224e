// What the benchmarks' users and their bookkeeping share: blocking loopback
// sockets, wall-clock figures, and the bulk and round-trip measurements a
// user makes against a target ('S' sink, 'G' + 8 bytes n: fetch n bytes,
// 'E' echo; the first byte of a connection chooses).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Polls done every 2 ms; false when ms passed first.
bool waitUntil(std::function<bool()> const& done, int ms);

// A blocking connection to 127.0.0.1:port with Nagle off; -1 when refused.
int connectTo(unsigned short port);

bool writeAll(int fd, void const* data, size_t n);

// Reads exactly n bytes; false at end of stream or an error.
bool readAll(int fd, void* data, size_t n);

// Reads until end of stream or an error, in blocks of blockBytes; the bytes read.
long long readUntilEnd(int fd, size_t blockBytes);

// One user of a target's sink: the mode byte 'S', bytes in blocks of
// block, then the end of its stream; waits for the target's end.
void sendToSink(int fd, long long bytes, std::vector<char> const& block);

// Opens up to n connections that never speak (fewer when one is refused).
std::vector<int> openIdle(unsigned short port, int n);

void closeAll(std::vector<int>* fds);

// Bytes per second of streams parallel users each sending bytes to the
// target's sink in blocks of blockBytes, timed until sunk() (the target's
// count of bytes taken in) has grown by all of them; 0, with the shortfall
// on standard error, when they did not arrive within a minute.
double bulkToSink(unsigned short port, int streams, long long bytes, size_t blockBytes,
                  std::function<long long()> const& sunk);

// Bytes per second of streams parallel users each fetching bytes from the
// target, read in blocks of blockBytes; 0, with the shortfall on standard
// error, when fewer arrived.
double bulkFromTarget(unsigned short port, int streams, long long bytes, size_t blockBytes);

// Round trips of a messageBytes exchange with the target's echo after
// warmUp unmeasured ones, in microseconds, sorted; fewer than rounds when
// the connection broke.
std::vector<double> roundTrips(unsigned short port, size_t messageBytes, int warmUp, int rounds);

}  // namespace bench
