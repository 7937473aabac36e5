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

// The addresses a scan asks, from --addresses LIST; without a list 1..32
// (an M-Bus line has no such default). The error names the option.
Result<std::vector<std::uint32_t>> ScanAddresses(const std::optional<std::string>& list, bool mbus);
// The speeds a scan tries, from --bauds LIST or "all"; without a list none
// (the line's own speed).
Result<std::vector<std::uint32_t>> ScanSpeeds(const std::optional<std::string>& list);

}  // namespace statvtk
