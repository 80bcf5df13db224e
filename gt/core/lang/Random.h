// Small pseudo-random generator with one 32-bit state word (multiplier 48271
// modulo 2^31 - 1 by Schrage's method, plus 17517 each step), and the
// library's rand/srand: a per-thread generator with the sequence
// state * 214013 + 2531011, result (state >> 16) & 0x7FFF.
// Not for secrets.
#pragma once

namespace gt {
namespace core {

// 0 .. 32767 from the calling thread's generator. A thread that never
// called srand starts from an unpredictable seed.
int rand();
void srand(unsigned seed);

class Random {
public:
    // Seeded from two calls of rand().
    Random();
    // A negative seed has 2147483647 added.
    explicit Random(int seed);
    virtual ~Random() = default;

    // One step; the new state (0 .. 2147483646).
    int next();
    // [0, n); 0 without a step when n <= 0.
    int nextInt(int n);
    // [min, max); min without a step when max <= min.
    int nextInt(int min, int max);
    // Two steps a, b: a * 2^32 + b.
    long long nextLong();
    long long nextLong(long long n);
    long long nextLong(long long min, long long max);
    // [0, 1].
    double nextDouble();

private:
    int m_state;
};

}  // namespace core
}  // namespace gt
