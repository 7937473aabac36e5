// The hourly report's cell block (ExportHourDataToExcel's algorithm without
// the spreadsheet program): header cells, hour markers, the rows 15..38 of the
// day's hours and the differences between the three models.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "reports/cell_block.hpp"
#include "reports/device_header.hpp"
#include "stats/device_type.hpp"

namespace statvtk {

// One decoded archive record as the reports use it.
struct ReportRecord {
  bool checksumOk = true;  // the record passes its checksum test (ValidCS)
  // VTK-08.12 and LDN-08: the volume totals and their increments, m3.
  double forwardTotal = 0, forwardIncrement = 0, reverseTotal = 0, reverseIncrement = 0;
  // False for a record without increments (the oldest one, or one after a
  // gap that was not read): its increment cells stay empty.
  bool incrementKnown = true;
  // VTK-08.14: V+ total, V+ increment, M+ total, M+ increment, V- total,
  // V- increment, M- total, M- increment, mean temperature.
  std::array<double, 9> nine{};
  std::array<double, 4> counters{};           // as stored: 1/100 h (08.12) or seconds
  std::array<double, 4> counterIncrements{};  // the same units
  int statusByte = 0;                         // 08.12: the status flags
  std::string statusText;                     // 08.14, LDN-08: the status text
  double extra = 0;                           // 08.14: mean volume flow (the "no T" value)
  std::uint8_t hour = 0, minute = 0;          // start of the period (daily report times)
};

// What every report takes from its statistics window besides the records.
struct ReportHeaderData {
  DeviceType type = DeviceType::dtUnknown;
  std::string serial;
  bool optionFlag = false;       // VTK-08.14: no temperature sensor
  ReportDeviceCells device;      // F2..I2, V2
  std::uint32_t clockStamp = 0;  // device clock stamp, packed BCD hour|day|month|year
};

struct HourReportInput {
  ReportHeaderData header;
  std::string dayText;                                // the selected day "DD.MM.YY"
  std::array<std::optional<ReportRecord>, 24> hours;  // slot h-1 holds hour h-1 when present
};

inline constexpr const char* kReportVersion = "SVTK 1.04";

// "VTK0812", "VTK0814" or "VTK0814_no_T" (option flag), "LDN"; "" for dtUnknown.
std::string TemplateName(DeviceType type, bool optionFlag);
// "VTK-08.12", "VTK-08.14", "LDN-08" (the B1 text).
std::string ModelText(DeviceType type);

// Builds the 80 x 80 block; `onHour` (optional) is called with h = 1..24.
CellBlock BuildHourBlock(const HourReportInput& input, const std::function<void(int)>& onHour = {});

// The header cells common to the hourly and daily reports (B1, B2, A10, F2..I2, V2).
void WriteHeaderCells(CellBlock& block, const ReportHeaderData& header);
// The values of one record in row r, per model (C.., counters, AA, AQ, AR..AY);
// the increment cells stay empty when the record has no increments.
void WriteRecordRow(CellBlock& block, int row, const ReportHeaderData& header, const ReportRecord& rec);
// A12: "Записей без приращения: N (не вошли в итог)" when N > 0 records of the
// report have no increments; nothing otherwise.
void WriteUnknownNote(CellBlock& block, int unknown);

}  // namespace statvtk
