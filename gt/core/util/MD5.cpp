#include "gt/core/util/MD5.h"

#include <string.h>

#include <cstdint>

namespace gt {
namespace core {
namespace {

struct Md5State {
    uint32_t state[4];
    uint64_t bits;
    unsigned char block[64];
};

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void transform(uint32_t state[4], unsigned char const block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = static_cast<uint32_t>(block[i * 4]) | static_cast<uint32_t>(block[i * 4 + 1]) << 8 |
               static_cast<uint32_t>(block[i * 4 + 2]) << 16 | static_cast<uint32_t>(block[i * 4 + 3]) << 24;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        int round = i / 16;
        uint32_t f;
        int k;
        switch (round) {
            case 0:
                f = (b & c) | (~b & d);
                k = i;
                break;
            case 1:
                f = (b & d) | (c & ~d);
                k = (5 * i + 1) % 16;
                break;
            case 2:
                f = b ^ c ^ d;
                k = (3 * i + 5) % 16;
                break;
            default:
                f = c ^ (b | ~d);
                k = (7 * i) % 16;
                break;
        }
        uint32_t rotated = rotl(a + f + kSine[i] + x[k], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    explicit_bzero(x, sizeof x);
}

void init(Md5State& s) {
    s.state[0] = 0x67452301;
    s.state[1] = 0xefcdab89;
    s.state[2] = 0x98badcfe;
    s.state[3] = 0x10325476;
    s.bits = 0;
}

void update(Md5State& s, unsigned char const* data, size_t size) {
    size_t used = static_cast<size_t>((s.bits >> 3) & 63);
    s.bits += static_cast<uint64_t>(size) << 3;
    if (used > 0) {
        size_t take = 64 - used < size ? 64 - used : size;
        memcpy(s.block + used, data, take);
        data += take;
        size -= take;
        if (used + take < 64) return;
        transform(s.state, s.block);
    }
    // Whole blocks straight from the input.
    for (; size >= 64; data += 64, size -= 64)
        transform(s.state, data);
    if (size > 0) memcpy(s.block, data, size);
}

void finish(Md5State& s, unsigned char digest[16]) {
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>(s.bits >> (8 * i));
    size_t used = static_cast<size_t>((s.bits >> 3) & 63);
    static unsigned char const kPadding[64] = {0x80};
    update(s, kPadding, used < 56 ? 56 - used : 120 - used);
    update(s, length, 8);
    for (int i = 0; i < 16; ++i)
        digest[i] = static_cast<unsigned char>(s.state[i / 4] >> (8 * (i % 4)));
}

}  // namespace

String md5Hex(Binary const& data) { return md5Hex(data, 0, data.length()); }

String md5Hex(Binary const& data, int position, int count) {
    int length = data.length();
    if (position < 0) position = 0;
    if (position > length) position = length;
    if (count < 0) count = 0;
    if (count > length - position) count = length - position;

    Md5State s;
    init(s);
    update(s, reinterpret_cast<unsigned char const*>(data.data()) + position, static_cast<size_t>(count));
    unsigned char digest[16];
    finish(s, digest);
    explicit_bzero(&s, sizeof s);

    static char const kDigits[] = "0123456789abcdef";
    Char text[32];
    for (int i = 0; i < 16; ++i) {
        text[i * 2] = static_cast<Char>(kDigits[digest[i] >> 4]);
        text[i * 2 + 1] = static_cast<Char>(kDigits[digest[i] & 15]);
    }
    return String(text, 32);
}

}  // namespace core
}  // namespace gt
