#include "gt/core/lang/Random.h"

#include <sys/random.h>

#include <chrono>
#include <thread>

namespace gt {
namespace core {
namespace {

struct RandState {
    unsigned value;
    bool seeded;
};

thread_local RandState t_rand = {1, false};

unsigned freshSeed() {
    unsigned seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
        auto now =
            static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        seed = static_cast<unsigned>(now ^ (now >> 32) ^
                                     std::hash<std::thread::id>()(std::this_thread::get_id()));
    }
    return seed;
}

}  // namespace

int rand() {
    if (!t_rand.seeded) {
        t_rand.value = freshSeed();
        t_rand.seeded = true;
    }
    t_rand.value = t_rand.value * 214013u + 2531011u;
    return static_cast<int>((t_rand.value >> 16) & 0x7FFF);
}

void srand(unsigned seed) {
    t_rand.value = seed;
    t_rand.seeded = true;
}

Random::Random() {
    int first = rand();
    int second = rand();
    int s = ((first % 32767) * 65538 + second) % 2147483647;
    m_state = s < 0 ? s + 2147483647 : s;
}

Random::Random(int seed) {
    // Formed in 32 bits with wrap-around.
    m_state = seed < 0 ? static_cast<int>(static_cast<unsigned>(seed) + 2147483647u) : seed;
}

int Random::next() {
    int q = m_state / 44488;
    int r = m_state % 44488;
    // Within 32 bits for every state the generator can hold; the sum below
    // wraps as 32-bit arithmetic does.
    unsigned t = static_cast<unsigned>(48271 * r) - static_cast<unsigned>(3399 * q);
    unsigned s = t + 17517u;
    if (static_cast<int>(s) < 0) s += 2147483647u;
    m_state = static_cast<int>(s);
    return m_state;
}

int Random::nextInt(int n) {
    if (n <= 0) return 0;
    return next() % n;
}

int Random::nextInt(int min, int max) {
    long long span = static_cast<long long>(max) - min;
    if (span <= 0) return min;
    return static_cast<int>(min + next() % span);
}

long long Random::nextLong() {
    unsigned long long a = static_cast<unsigned>(next());
    unsigned long long b = static_cast<unsigned>(next());
    return static_cast<long long>((a << 32) + b);
}

long long Random::nextLong(long long n) {
    if (n <= 0) return 0;
    return nextLong() % n;
}

long long Random::nextLong(long long min, long long max) {
    if (max <= min) return min;
    // The span may exceed what a signed 64-bit value holds.
    unsigned long long span = static_cast<unsigned long long>(max) - static_cast<unsigned long long>(min);
    unsigned long long offset = static_cast<unsigned long long>(nextLong()) % span;
    return static_cast<long long>(static_cast<unsigned long long>(min) + offset);
}

double Random::nextDouble() { return next() / 2147483647.0; }

}  // namespace core
}  // namespace gt
