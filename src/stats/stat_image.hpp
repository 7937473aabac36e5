// The sizes of the statistics image: three archive areas and two header blocks.
// An offset inside an archive area equals the instrument's memory address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "stats/device_type.hpp"

namespace statvtk {

inline constexpr std::size_t kVtkHeaderSize = 1024;
inline constexpr std::size_t kLdnHeaderSize = 2048;
inline constexpr std::size_t kArea0812Size = 0x10000;  // 65536
inline constexpr std::size_t kArea0814Size = 0x40000;  // 262144
inline constexpr std::size_t kAreaLdnSize = 0x80000;   // 524288

// Archive area size, header size and file extension of a model (dtUnknown: 0, 0, "").
std::size_t AreaSize(DeviceType t);
std::size_t HeaderSize(DeviceType t);
std::string_view FileExtension(DeviceType t);  // ".vst", ".814", ".ldn"
inline std::size_t FileSize(DeviceType t) { return AreaSize(t) + HeaderSize(t); }

// One model's archive area and header block, as read or as loaded from a file.
struct StatData {
  DeviceType type = DeviceType::dtUnknown;
  std::vector<std::uint8_t> area;    // AreaSize(type) bytes
  std::vector<std::uint8_t> header;  // HeaderSize(type) bytes

  static StatData Blank(DeviceType t) {
    return {t, std::vector<std::uint8_t>(AreaSize(t)), std::vector<std::uint8_t>(HeaderSize(t))};
  }
};

}  // namespace statvtk
