#include "gt/core/util/TEA.h"

#include <cstdint>

namespace gt {
namespace core {
namespace {

constexpr uint32_t kDelta = 0x9E3779B9u;
constexpr int kCycles = 16;
constexpr uint32_t kDecryptSum = kDelta * kCycles;  // 0xE3779B90

inline uint32_t load(unsigned char const* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void store(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

struct Key {
    uint32_t k[4];
    explicit Key(Binary const& key) {
        auto bytes = reinterpret_cast<unsigned char const*>(key.data());
        for (int i = 0; i < 4; ++i)
            k[i] = load(bytes + 4 * i);
    }
};

void encipher(unsigned char* block, Key const& key) {
    uint32_t y = load(block), z = load(block + 4), sum = 0;
    uint32_t const* k = key.k;
    for (int i = 0; i < kCycles; ++i) {
        sum += kDelta;
        y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
        z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    }
    store(block, y);
    store(block + 4, z);
}

void decipher(unsigned char* block, Key const& key) {
    uint32_t y = load(block), z = load(block + 4), sum = kDecryptSum;
    uint32_t const* k = key.k;
    for (int i = 0; i < kCycles; ++i) {
        z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
        y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
        sum -= kDelta;
    }
    store(block, y);
    store(block + 4, z);
}

}  // namespace

bool TEA::encrypt(Binary* out, Binary const& in, Binary const& key) {
    if (!out || key.length() != 16) return false;
    if (in.isEmpty()) {
        out->clear();
        return true;
    }
    Key k(key);
    int padding = (-in.length()) & 7;
    if (out != &in) *out = in;
    out->append(padding, '-');
    auto bytes = reinterpret_cast<unsigned char*>(out->data());
    int length = out->length();
    for (int i = 0; i < length; i += 8)
        encipher(bytes + i, k);
    out->append(static_cast<char>(padding));
    return true;
}

bool TEA::decrypt(Binary* out, Binary const& in, Binary const& key) {
    if (!out || key.length() != 16) return false;
    if (in.isEmpty()) {
        out->clear();
        return true;
    }
    Key k(key);
    int length = in.length() - 1;
    int count = static_cast<signed char>(in[length]);
    if (length % 8 != 0 || count < 0 || count > length) {
        out->clear();
        return false;
    }
    if (out != &in) *out = in;
    out->setLength(length);
    auto bytes = reinterpret_cast<unsigned char*>(out->data());
    for (int i = 0; i < length; i += 8)
        decipher(bytes + i, k);
    out->setLength(length - count);
    return true;
}

}  // namespace core
}  // namespace gt
