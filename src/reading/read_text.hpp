// The texts an instrument gives: the model told by its identification text,
// the serial texts of a download and of current readings.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "stats/device_type.hpp"

namespace statvtk {

// The substrings in the order they are tested: "VTK-612", "VTK0814-CM",
// "VTK0814-C", "LDN-08" (CM before C: "VTK0814-C" is a prefix of "VTK0814-CM").
DeviceType TypeOfIdentText(std::string_view text);

// The serial text of a statistics read: VTK models the 8 bytes at header 512
// with each zero byte replaced by "#"; LDN-08 the decimal of the 32-bit
// little-endian value at header 0.
std::string DownloadSerialText(DeviceType type, std::span<const std::uint8_t> header);

// The serial text of current readings: VTK models the characters at block 512
// up to the first zero byte (at most 8); LDN-08 as above.
std::string CurrentSerialText(DeviceType type, std::span<const std::uint8_t> block);

}  // namespace statvtk
