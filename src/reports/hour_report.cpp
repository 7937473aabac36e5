// The hourly report's cell block.
#include "reports/hour_report.hpp"

#include <cstdio>

namespace statvtk {

namespace {

bool IsVtk0814(DeviceType t) { return t == DeviceType::dtVTK0814C || t == DeviceType::dtVTK0814CM; }

// "HH:00" with a leading zero for one digit (00:00 .. 24:00).
std::string HourText(int hour) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.2d:00", hour);
  return buf;
}

int Digit(const std::string& s, std::size_t i) { return (i < s.size() && s[i] >= '0' && s[i] <= '9') ? s[i] - '0' : 0; }

// The stamp of hour h (1..24) of the day "DD.MM.YY": byte 3 year, 2 month, 1 day, 0 hour h-1.
std::uint32_t HourStamp(const std::string& day, int h) {
  const auto pair = [&](std::size_t i) { return static_cast<std::uint32_t>(Digit(day, i) * 16 + Digit(day, i + 1)); };
  const auto hour = static_cast<std::uint32_t>(((h - 1) / 10) * 16 + (h - 1) % 10);
  return pair(6) << 24 | pair(3) << 16 | pair(0) << 8 | hour;
}

}  // namespace

std::string TemplateName(DeviceType type, bool optionFlag) {
  switch (type) {
    case DeviceType::dtVTK0812: return "VTK0812";
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: return optionFlag ? "VTK0814_no_T" : "VTK0814";
    case DeviceType::dtLDN08: return "LDN";
    default: return "";
  }
}

std::string ModelText(DeviceType type) {
  switch (type) {
    case DeviceType::dtVTK0812: return "VTK-08.12";
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: return "VTK-08.14";
    case DeviceType::dtLDN08: return "LDN-08";
    default: return "";
  }
}

void WriteHeaderCells(CellBlock& block, const ReportHeaderData& header) {
  block.Set("B1", ModelText(header.type));
  block.Set("B2", header.serial);
  block.Set("A10", std::string(kReportVersion));
  block.Set("F2", header.device.f2);
  block.Set("G2", header.device.g2);
  block.Set("H2", header.device.h2);
  block.Set("I2", header.device.i2);
  if (header.type != DeviceType::dtLDN08 && header.device.v2) block.Set("V2", *header.device.v2);
}

void WriteRecordRow(CellBlock& block, int r, const ReportHeaderData& header, const ReportRecord& rec) {
  const bool vtk0814 = IsVtk0814(header.type);
  const bool inc = rec.incrementKnown;
  if (vtk0814) {
    constexpr int kCols[9] = {3, 7, 11, 15, 4, 8, 12, 16, 19};  // C G K O D H L P S
    for (std::size_t i = 0; i < 9; ++i) {
      const bool increment = i == 1 || i == 3 || i == 5 || i == 7;  // ΔV+ ΔM+ ΔV- ΔM-
      if (inc || !increment) block.Set(r, kCols[i], rec.nine[i]);
    }
    block.Set(r, 27, header.optionFlag ? CellValue(rec.extra) : CellValue(Currency{0.0}));  // AA
  } else {
    block.Set(r, 3, rec.forwardTotal);
    block.Set(r, 4, rec.reverseTotal);
    if (inc) {
      block.Set(r, 7, rec.forwardIncrement);
      block.Set(r, 8, rec.reverseIncrement);
    }
  }
  const double div = header.type == DeviceType::dtVTK0812 ? 100.0 : 3600.0;
  constexpr int kCounterCols[4] = {32, 33, 34, 36};    // AF AG AH AJ
  constexpr int kIncrementCols[4] = {38, 39, 40, 42};  // AL AM AN AP
  for (std::size_t i = 0; i < 4; ++i) {
    block.Set(r, kCounterCols[i], rec.counters[i] / div);
    if (inc) block.Set(r, kIncrementCols[i], rec.counterIncrements[i] / div);
  }
  if (header.type == DeviceType::dtVTK0812) {
    const int status = rec.statusByte & 0xFF;
    block.Set(r, 43, std::int64_t{status});                                                       // AQ
    for (int bit = 0; bit < 8; ++bit) block.Set(r, 44 + bit, std::int64_t{(status >> bit) & 1});  // AR..AY
  } else {
    block.Set(r, 43, rec.statusText);
  }
}

void WriteUnknownNote(CellBlock& block, int unknown) {
  if (unknown > 0) block.Set("A12", "Записей без приращения: " + std::to_string(unknown) + " (не вошли в итог)");
}

CellBlock BuildHourBlock(const HourReportInput& in, const std::function<void(int)>& onHour) {
  CellBlock block;
  WriteHeaderCells(block, in.header);
  block.Set("A8", in.dayText);
  int missing = 24, first = 25, last = 0, unknown = 0;
  for (int h = 1; h <= 24; ++h) {
    const auto& slot = in.hours[static_cast<std::size_t>(h - 1)];
    if (slot && slot->checksumOk) {
      if (h < first) first = h;
      last = h;
    }
  }
  block.Set("B8", HourText(first - 1));
  block.Set("B9", HourText(last));
  for (int h = 1; h <= 24; ++h) {
    const int r = 14 + h;
    if (onHour) onHour(h);
    if (HourStamp(in.dayText, h) < in.header.clockStamp) block.Set(r, 2, std::int64_t{1});
    const auto& slot = in.hours[static_cast<std::size_t>(h - 1)];
    if (!slot) continue;
    --missing;
    if (!slot->incrementKnown) ++unknown;
    block.Set(r, 1, std::int64_t{1});
    block.Set(r, 2, Currency{1.0});
    WriteRecordRow(block, r, in.header, *slot);
  }
  block.Set("A11", std::int64_t{missing});
  WriteUnknownNote(block, unknown);
  return block;
}

}  // namespace statvtk
