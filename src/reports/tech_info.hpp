// The technical information of the instrument last read: the grid texts of
// the "Техническая информация" window, from the header block and device type.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "stats/device_type.hpp"

namespace statvtk {

struct TechInfoRow {
  std::string label;  // column 0
  std::string value;  // column 1
};

struct TechInfo {
  std::string caption;            // "Техническая информация - прибор № " + serial
  std::vector<TechInfoRow> rows;  // grid rows 1.. (row 0 is the empty heading row)
};

// Rows 1..6 are "Тип", "Ду, мм", "Gmin, м3/ч", "Gmax, м3/ч", "Fmax, Гц",
// "Kv, л/имп"; then "Заводской №" and what else the model's header holds.
// A value the header cannot give (a diameter code past its table, a field
// VTK-08.12 does not keep) reads "—".
TechInfo BuildTechInfo(std::span<const std::uint8_t> header, DeviceType type);

inline constexpr const char* kNoValue = "\xE2\x80\x94";  // "—"

}  // namespace statvtk
