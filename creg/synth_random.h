// SPDX-License-Identifier: MIT
// The random numbers of the hive synthesizer, shared by the tree maker
// (synth.cpp) and the fragmented writer (synth_fragmented.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/byte_reader.h"

namespace sabrel::hive::synth_random {

// splitmix64: fast, and the same sequence everywhere for a seed.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t Below(std::uint32_t n) { return n ? static_cast<std::uint32_t>(Next() % n) : 0; }
    bool Chance(std::uint32_t percent) { return Below(100) < percent; }
    void Fill(std::uint8_t* p, std::size_t n) {
        while (n >= 8) {
            StoreU32(p, static_cast<std::uint32_t>(Next()));
            StoreU32(p + 4, static_cast<std::uint32_t>(Next()));
            p += 8;
            n -= 8;
        }
        while (n--) *p++ = static_cast<std::uint8_t>(Next());
    }

  private:
    std::uint64_t s_;
};

template <typename T>
void Shuffle(std::vector<T>& v, Rng& rng) {
    for (std::size_t i = v.size(); i > 1; --i)
        std::swap(v[i - 1], v[rng.Below(static_cast<std::uint32_t>(i))]);
}

}  // namespace sabrel::hive::synth_random
