// Technical information texts.
#include "reports/tech_info.hpp"

#include <cstdio>
#include <optional>

#include "reports/device_header.hpp"

namespace statvtk {

namespace {

std::string Format(const char* fmt, std::optional<double> v) {
  if (!v) return kNoValue;
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, *v);
  return buf;
}

std::string TypeText(DeviceType type) {
  switch (type) {
    case DeviceType::dtVTK0812: return "VTK-08.12";
    case DeviceType::dtVTK0814C: return "VTK-08.14";
    case DeviceType::dtVTK0814CM: return "VTK-08.14SM \\ MERIDA.08.14";
    case DeviceType::dtLDN08: return "LDN-08";
    default: return kNoValue;
  }
}

}  // namespace

TechInfo BuildTechInfo(std::span<const std::uint8_t> header, DeviceType type) {
  const DeviceConfig c = DecodeDeviceConfig(header, type);
  TechInfo info;
  info.caption = "Техническая информация - прибор № " + c.serial;
  info.rows = {
      {"Тип", TypeText(type)},
      {"Ду, мм", Format("%.1f", c.diameter)},
      {"Gmin, м3/ч", Format("%.4f", c.gmin)},
      {"Gmax, м3/ч", Format("%.1f", c.gmax)},
      {"Fmax, Гц", Format("%.1f", c.fmax)},
      {"Kv, л/имп", Format("%.4f", c.kv)},
      {"Заводской №", c.serial.empty() ? kNoValue : c.serial},
  };
  if (type == DeviceType::dtVTK0812) {
    for (int i = 0; i < 3; ++i)
      info.rows.push_back(
          {"Кал. " + std::to_string(i + 1), Format("%.4f", c.calibration[static_cast<std::size_t>(i)])});
    for (int i = 0; i < 2; ++i)
      info.rows.push_back({"Уст. " + std::to_string(i + 1), std::to_string(c.settings[static_cast<std::size_t>(i)])});
  } else if (type == DeviceType::dtLDN08) {
    info.rows.push_back({"Версия ПО", c.firmware.empty() ? kNoValue : c.firmware});
  }
  return info;
}

}  // namespace statvtk
