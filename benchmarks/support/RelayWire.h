// The relay protocol as the benchmarks' doubles speak it, written from the
// wire format alone. A frame is size (LE 32, counting itself) | 01 | kind |
// body. Kind 1 is a dictionary, kind 2 a tunnel datagram: action, channel id
// (LE 16), then CONNECT: protocol (2 = TCP), IPv4 address (LE 32), port
// (LE 16); DATA: length (LE 16) and payload; WINDOW: credit (LE 32);
// SHUTDOWN: nothing more.
#pragma once

#include <cstddef>

namespace bench {
namespace wire {

constexpr int HEAD = 6;  // size, version, kind
constexpr char DICTIONARY = 1;
constexpr char DATAGRAM = 2;
constexpr char CONNECT = 1;
constexpr char SHUTDOWN = 3;
constexpr char DATA = 4;
constexpr char WINDOW = 5;

inline void put16(char* p, unsigned v) {
    p[0] = static_cast<char>(v);
    p[1] = static_cast<char>(v >> 8);
}

inline void put32(char* p, unsigned v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

inline unsigned get16(char const* p) {
    return static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8);
}

inline unsigned get32(char const* p) { return get16(p) | (get16(p + 2) << 16); }

// The head of a frame of kind whose body has bodyLength bytes.
inline void putHead(char* p, char kind, size_t bodyLength) {
    put32(p, static_cast<unsigned>(HEAD + bodyLength));
    p[4] = 1;
    p[5] = kind;
}

}  // namespace wire
}  // namespace bench
