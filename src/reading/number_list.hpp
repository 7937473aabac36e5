// Lists of addresses and speeds as a user types them: numbers and ranges
// separated by commas ("1-12", "1,3,5-8"), in the order given, no repeats.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"

namespace statvtk {

// Every number must lie in min..max and a range must not run backwards; a
// number given twice is kept once. The error (BadSettings) gives the reason.
Result<std::vector<std::uint32_t>> ParseNumberList(std::string_view text, std::uint32_t min, std::uint32_t max);

// The speeds a scan tries with "all".
inline constexpr std::uint32_t kScanSpeeds[] = {2400, 4800, 9600, 57600, 115200};

}  // namespace statvtk
