#include "reading/read_text.hpp"

#include <cstdio>

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

std::string ElapsedText(long long seconds) {
  if (seconds < 0) seconds = 0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.2d:%.2d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
  return std::string(buf) + ")";
}

std::string MBusHint(DeviceType type, bool useMBus) {
  if (type == DeviceType::dtLDN08 && !useMBus)
    return "Подсказка: LDN-08 отвечает на чтение только через M-Bus: включите \"M-Bus\" в "
           "Настройки → Соединение... и задайте длинный адрес прибора.";
  if (useMBus && (type == DeviceType::dtVTK0812 || type == DeviceType::dtVTK0814C || type == DeviceType::dtVTK0814CM))
    return "Подсказка: прибор VTK опознан через M-Bus, но на чтение не отвечает: проверьте \"M-Bus\" в "
           "Настройки → Соединение... (без M-Bus сетевой адрес от 0 до 255).";
  return {};
}

}  // namespace statvtk
