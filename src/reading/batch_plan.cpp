#include "reading/batch_plan.hpp"

#include <algorithm>

#include "link/settings.hpp"

namespace statvtk {

int BaudIndexOf(std::uint32_t baud, int fallback) {
  const auto it = std::find(kBaudRates.begin(), kBaudRates.end(), baud);
  return it == kBaudRates.end() ? fallback : static_cast<int>(it - kBaudRates.begin()) + 1;
}

std::vector<SpeedBatch> PlanBatchesBySpeed(std::span<const BatchTarget> targets) {
  std::vector<SpeedBatch> batches;
  for (const BatchTarget& t : targets) {
    auto it = std::find_if(batches.begin(), batches.end(), [&t](const SpeedBatch& b) { return b.baud == t.baud; });
    if (it == batches.end()) batches.push_back({t.baud, BaudIndexOf(t.baud, 0), {t.address}});
    else it->addresses.push_back(t.address);
  }
  return batches;
}

}  // namespace statvtk
