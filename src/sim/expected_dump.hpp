// The statistics file a correct full read of the simulated instrument gives:
// the archive area as the download fills it, then the header block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/memories.hpp"
#include "stats/stat_image.hpp"

namespace statvtk::sim {

// Archive area and header block of a full read of every kind ("all").
StatData ExpectedDump(DeviceType model, const Memories& m);

// The file bytes: area followed by the header block.
std::vector<std::uint8_t> DumpBytes(const StatData& d);

}  // namespace statvtk::sim
