// Stand-alone driver for the fuzz targets when libFuzzer is not used:
// feeds the target random inputs of varied length and mutations of earlier
// inputs, from a fixed seed so that a failure can be reproduced.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  unsigned long runs = 3000;
  unsigned long seed = 20261208;
  std::size_t maxLen = 4096;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::strtoul(argv[i + 1], nullptr, 10);
    else if (std::strcmp(argv[i], "--seed") == 0) seed = std::strtoul(argv[i + 1], nullptr, 10);
    else if (std::strcmp(argv[i], "--max-len") == 0) maxLen = std::strtoul(argv[i + 1], nullptr, 10);
  }
  std::mt19937_64 rng(seed);
  std::vector<std::uint8_t> last;
  for (unsigned long r = 0; r < runs; ++r) {
    std::vector<std::uint8_t> in;
    if (!last.empty() && rng() % 2 == 0) {
      in = last;  // mutate the previous input: flips, inserts, cuts
      const int edits = 1 + static_cast<int>(rng() % 8);
      for (int e = 0; e < edits && !in.empty(); ++e) {
        const std::size_t at = rng() % in.size();
        switch (rng() % 4) {
          case 0: in[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8)); break;
          case 1: in[at] = static_cast<std::uint8_t>(rng()); break;
          case 2: in.insert(in.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(rng())); break;
          default: in.resize(at); break;
        }
      }
    } else {
      const std::size_t len = rng() % (maxLen + 1);
      in.resize(len);
      for (auto& b : in) b = static_cast<std::uint8_t>(rng());
      // Some inputs favour the bytes that frame formats give meaning to.
      if (rng() % 3 == 0)
        for (auto& b : in)
          if (rng() % 4 == 0) b = (rng() % 2) ? 0xAA : 0x00;
    }
    LLVMFuzzerTestOneInput(in.data(), in.size());
    last = std::move(in);
  }
  std::printf("%lu runs, seed %lu: no fault\n", runs, seed);
  return 0;
}
