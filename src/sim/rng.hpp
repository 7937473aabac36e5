// Deterministic pseudo-random numbers for the simulator: a stateless hash of
// (seed, stream, index) for the history, and a small sequential generator for
// fault injection. Same seed, same numbers, on every platform.
#pragma once

#include <cstdint>

namespace statvtk::sim {

constexpr std::uint64_t SplitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// A hash of three numbers, spread over 64 bits.
constexpr std::uint64_t Hash(std::uint64_t seed, std::uint64_t stream, std::uint64_t index) {
  return SplitMix(SplitMix(SplitMix(seed) ^ stream) ^ index);
}

// Uniform in [0, 1).
constexpr double Unit(std::uint64_t h) { return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0); }

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() { return SplitMix(state_++); }
  double NextUnit() { return Unit(Next()); }
  // Uniform in [lo, hi].
  std::uint32_t Between(std::uint32_t lo, std::uint32_t hi) {
    return lo + static_cast<std::uint32_t>(Next() % (static_cast<std::uint64_t>(hi) - lo + 1));
  }
  bool Chance(double p) { return p > 0 && NextUnit() < p; }

 private:
  std::uint64_t state_;
};

}  // namespace statvtk::sim
