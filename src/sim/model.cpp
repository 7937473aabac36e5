#include "sim/model.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace statvtk::sim {

const AreaLayout& ModelLayout::Of(Area a) const {
  switch (a) {
    case Area::Hourly: return hourly;
    case Area::Daily: return daily;
    case Area::Monthly: return monthly;
    case Area::Events: break;
  }
  return events;
}

namespace {

// The memory map of each model: sizes of the clock, RAM, configuration and
// archive memories; each archive's {first address, slots, slot size}.
// clang-format off
constexpr ModelLayout k0812{.type = DeviceType::dtVTK0812, .rtcSize = 128, .ramSize = 1024, .configSize = 512,
    .archiveSize = 0x10000, .hourly = {0x4000, 1080, 32}, .daily = {0xD000, 366, 32}, .monthly = {0, 0, 32},
    .events = {0x0000, 256, 16}};
constexpr ModelLayout k0814{.type = DeviceType::dtVTK0814C, .rtcSize = 128, .ramSize = 1024, .configSize = 512,
    .archiveSize = 0x40000, .hourly = {0, 1440, 64}, .daily = {92160, 400, 64}, .monthly = {117760, 120, 64},
    .events = {125440, 352, 16}};
constexpr ModelLayout kLdn{.type = DeviceType::dtLDN08, .rtcSize = 0, .ramSize = 64, .configSize = 256,
    .archiveSize = 0x80000, .hourly = {0, 1440, 68}, .daily = {196608, 365, 68}, .monthly = {262144, 36, 68},
    .events = {274432, 128, 64}, .bigEndian = false};
// clang-format on

constexpr ModelLayout WithType(ModelLayout m, DeviceType t) {
  m.type = t;
  return m;
}

const std::array<ModelLayout, 4>& Layouts() {
  static constexpr std::array<ModelLayout, 4> all{k0812, k0814, WithType(k0814, DeviceType::dtVTK0814CM), kLdn};
  return all;
}

constexpr std::array<double, 8> kDiam8{15, 25, 32, 40, 50, 80, 100, 150};
constexpr std::array<double, 8> kFlow8{6.3, 16, 25, 40, 63, 160, 250, 630};
constexpr std::array<double, 7> kDiamC{15, 25, 32, 50, 80, 100, 150};
constexpr std::array<double, 7> kFlowC{6, 16, 30, 60, 160, 300, 600};

}  // namespace

const ModelLayout& LayoutOf(DeviceType t) {
  for (const auto& m : Layouts())
    if (m.type == t) return m;
  return Layouts()[1];
}

std::optional<MemoryKind> MemoryOf(DeviceType t, frame::Op op) {
  using frame::Op;
  const bool ldn = t == DeviceType::dtLDN08;
  switch (op) {
    case Op::Identify:
    case Op::IdentifyLong: return std::nullopt;  // not a memory; answered by every model
    case Op::ReadBlock8: return ldn ? std::nullopt : std::optional(MemoryKind::Rtc);
    case Op::ReadParams16: return ldn ? std::nullopt : std::optional(MemoryKind::Ram);
    case Op::ReadBlock16: return ldn ? std::nullopt : std::optional(MemoryKind::Config);
    case Op::ReadArchive16: return t == DeviceType::dtVTK0812 ? std::optional(MemoryKind::Archive) : std::nullopt;
    case Op::ReadArchive32:
      return (t == DeviceType::dtVTK0814C || t == DeviceType::dtVTK0814CM) ? std::optional(MemoryKind::Archive)
                                                                           : std::nullopt;
    case Op::ReadBlock16Long: return ldn ? std::optional(MemoryKind::Config) : std::nullopt;
    case Op::ReadParams16Long: return ldn ? std::optional(MemoryKind::Ram) : std::nullopt;
    case Op::ReadArchive32Long: return ldn ? std::optional(MemoryKind::Archive) : std::nullopt;
  }
  return std::nullopt;
}

std::string IdentificationText(DeviceType t, std::string_view serial) {
  switch (t) {
    case DeviceType::dtVTK0812: return "VTK-612 v3.07 #" + std::string(serial);
    case DeviceType::dtVTK0814C: return "VTK0814-C ver.2.11";
    case DeviceType::dtVTK0814CM: return "VTK0814-CM ver.2.11 MERIDA";
    case DeviceType::dtLDN08: return "LDN-08 fw 1.20";
    case DeviceType::dtUnknown: break;
  }
  return "";
}

std::span<const double> NominalDiameters(DeviceType t) {
  if (t == DeviceType::dtVTK0814C) return kDiamC;
  return kDiam8;
}

std::span<const double> NominalFlows(DeviceType t) {
  if (t == DeviceType::dtVTK0814C) return kFlowC;
  return kFlow8;
}

std::optional<DeviceType> ParseModel(std::string_view text) {
  std::string s;
  for (char c : text)
    if (std::isalnum(static_cast<unsigned char>(c)))
      s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (s == "0812" || s == "vtk0812") return DeviceType::dtVTK0812;
  if (s == "0814c" || s == "vtk0814c") return DeviceType::dtVTK0814C;
  if (s == "0814cm" || s == "vtk0814cm") return DeviceType::dtVTK0814CM;
  if (s == "ldn" || s == "ldn08") return DeviceType::dtLDN08;
  return std::nullopt;
}

}  // namespace statvtk::sim
