#include "stats/status_names.hpp"

#include <array>

namespace statvtk {

namespace {

constexpr std::array<std::string_view, 8> k0812 = {"Выкл.", "Gmax", "Gmin", "Рев.", "Возб.", "АЦП", "Настр.", "Оч."};
constexpr std::array<std::string_view, 7> k0814 = {"Возб", "ПТ", "ТСП", "Gmin", "Gmax", "Рев", "Пит"};
constexpr std::array<std::string_view, 8> kLdn = {"ТСП", "", "Воздух", "ПТ", "", "Gmax", "Gmin", "Реверс"};

}  // namespace

std::span<const std::string_view> StatusBitNames(DeviceType type) {
  switch (type) {
    case DeviceType::dtVTK0812: return k0812;
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: return k0814;
    case DeviceType::dtLDN08: return kLdn;
    default: break;
  }
  return {};
}

}  // namespace statvtk
