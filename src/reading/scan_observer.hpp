// What a search for instruments reports besides the job's progress: each
// probe as it starts and each instrument as it answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "stats/device_type.hpp"

namespace statvtk {

// An instrument that answered the identification request.
struct ScanFound {
  std::uint32_t address = 0;  // network address, or the 32-bit address in M-Bus mode
  std::uint32_t baud = 0;     // the line speed it answered at
  DeviceType type = DeviceType::dtUnknown;
  std::string ident;  // its identification text
};

class ScanObserver {
 public:
  virtual ~ScanObserver() = default;
  // Probe `index` (0-based) of `total` is about to ask `address` at `baud`.
  virtual void Probing(std::uint32_t /*address*/, std::uint32_t /*baud*/, std::size_t /*index*/,
                       std::size_t /*total*/) {}
  // An instrument answered.
  virtual void Found(const ScanFound& found) = 0;
};

}  // namespace statvtk
