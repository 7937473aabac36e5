#include "reading/read_text.hpp"

#include "base/device_values.hpp"

namespace statvtk {

DeviceType TypeOfIdentText(std::string_view text) {
  if (text.find("VTK-612") != std::string_view::npos) return DeviceType::dtVTK0812;
  if (text.find("VTK0814-CM") != std::string_view::npos) return DeviceType::dtVTK0814CM;
  if (text.find("VTK0814-C") != std::string_view::npos) return DeviceType::dtVTK0814C;
  if (text.find("LDN-08") != std::string_view::npos) return DeviceType::dtLDN08;
  return DeviceType::dtUnknown;
}

namespace {
std::string LdnSerial(std::span<const std::uint8_t> header) {
  if (header.size() < 4) return {};
  return std::to_string(LittleUInt32(header.first(4)));
}
}  // namespace

std::string DownloadSerialText(DeviceType type, std::span<const std::uint8_t> header) {
  if (type == DeviceType::dtLDN08) return LdnSerial(header);
  std::string s;
  if (header.size() < 520) return s;
  for (std::size_t i = 512; i < 520; ++i) s += header[i] == 0 ? '#' : static_cast<char>(header[i]);
  return s;
}

std::string CurrentSerialText(DeviceType type, std::span<const std::uint8_t> block) {
  if (type == DeviceType::dtLDN08) return LdnSerial(block);
  std::string s;
  for (std::size_t i = 512; i < 520 && i < block.size() && block[i] != 0; ++i) s += static_cast<char>(block[i]);
  return s;
}

}  // namespace statvtk
