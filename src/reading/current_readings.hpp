// The current-readings view: every label of the window, caption and text,
// decoded from the 1024-byte data block of one model.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "stats/device_type.hpp"

namespace statvtk {

struct CurrentLabel {
  std::string name;     // the control: LabelG, LabelVp, ..., Label_Errors
  std::string caption;  // what stands beside the value
  std::string text;     // the value as shown
};

struct CurrentView {
  std::string groupCaption;  // GroupBox4: "Текущий массовый расход" or "Напряжение питания"
  std::vector<CurrentLabel> labels;  // in window order; only the labels the model fills
  const CurrentLabel* Find(const std::string& name) const;
};

// Volume display scale of the VTK-08.14 members (maximum flows, m³/h).
inline constexpr double kScale0814C[] = {6, 16, 30, 60, 160, 300, 600};
inline constexpr double kScale0814CM[] = {6.3, 16, 25, 40, 63, 160, 250, 630};

// The maximum flow of a scale index; an index beyond the member's table takes
// the table's last entry.
double ScaleOf(DeviceType type, std::uint8_t index);
// Fraction digits of the integrators for a scale: below 1 four, below 10
// three, below 100 two, else one.
int FractionDigits(double scale);

// The window's caption for an instrument: "Текущие показания - прибор № " + serial.
inline std::string CurrentReadingsCaption(const std::string& serial) {
  return "Текущие показания - прибор № " + serial;
}

// Decodes the block. A dtUnknown block gives only the common labels.
CurrentView UpdateData(std::span<const std::uint8_t, 1024> block, DeviceType type);

}  // namespace statvtk
