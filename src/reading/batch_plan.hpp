// Instruments found on one line at several speeds, grouped into one batch per
// speed (the line is opened once per batch), and the settings' speed index of
// a baud rate.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace statvtk {

// One instrument to read: where it answered.
struct BatchTarget {
  std::uint32_t address = 0;
  std::uint32_t baud = 0;
};

// The addresses to read at one speed, in the order they were chosen.
struct SpeedBatch {
  std::uint32_t baud = 0;
  int baudIndex = 0;  // 1-based index into kBaudRates (the BaudRate key), 0 when not listed
  std::vector<std::uint32_t> addresses;
};

// The 1-based BaudRate index of `baud`; `fallback` for a rate not listed.
int BaudIndexOf(std::uint32_t baud, int fallback);

// One batch per speed, the speeds in the order they first appear.
std::vector<SpeedBatch> PlanBatchesBySpeed(std::span<const BatchTarget> targets);

}  // namespace statvtk
