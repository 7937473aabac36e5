#include "collect/image/archive_slots.hpp"

#include <array>

namespace statvtk::collect {

namespace {

constexpr std::array<DeviceType, 4> kTypes{DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08};

}  // namespace

ArchiveSlots SlotsOf(DeviceType type, ArchiveKind archive) {
  switch (type) {
    case DeviceType::dtVTK0812:
      if (archive == ArchiveKind::Hourly) return {0x4000, 1080, 32};
      if (archive == ArchiveKind::Daily) return {0xD000, 366, 32};
      return {};
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM:
      if (archive == ArchiveKind::Hourly) return {0, 1440, 64};
      if (archive == ArchiveKind::Daily) return {92160, 400, 64};
      return {117760, 120, 64};
    case DeviceType::dtLDN08:
      if (archive == ArchiveKind::Hourly) return {0, 1440, 68};
      if (archive == ArchiveKind::Daily) return {196608, 365, 68};
      return {262144, 36, 68};
    case DeviceType::dtUnknown: return {};
  }
  return {};
}

DeviceType TypeOfModelName(std::string_view model) {
  for (const auto t : kTypes)
    if (DeviceTypeName(t) == model) return t;
  return DeviceType::dtUnknown;
}

}  // namespace statvtk::collect
