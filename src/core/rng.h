// The random number source of every random state: xoshiro256++ seeded from the operating system.
#pragma once

#include <cstdint>

namespace tandrel {

/// A fast generator; each Python call that needs randomness makes a fresh one with `from_os`.
class Rng {
public:
    /// Seeded from the operating system's entropy source.
    static Rng from_os();
    /// Seeded deterministically (for tests and benchmarks of the core only).
    static Rng from_seed(uint64_t seed);

    uint64_t next_u64() {
        const uint64_t result = rotl(s_[0] + s_[3], 23) + s_[0];
        const uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }
    /// A uniform double in [0, 1): 53 random bits scaled by 2^-53.
    double uniform() { return double(next_u64() >> 11) * 0x1.0p-53; }

private:
    static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t s_[4] = {};
};

}  // namespace tandrel
