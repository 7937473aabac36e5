// LDN-08: hourly, daily and monthly archives of 68-byte records, 64-byte
// events and the LDN header block (all values least significant byte first).
#pragma once

#include "stats/stat_timed.hpp"

namespace statvtk {

class StatModelLdn final : public TimedStatModel {
 public:
  static constexpr std::size_t kRecordSize = 68;
  static constexpr ArchiveMap kHourly{0, 1440, 68}, kDaily{196608, 365, 68}, kMonthly{262144, 36, 68};
  static constexpr std::size_t kEventOffset = 274432, kEventCount = 128, kEventSize = 64;
  static constexpr std::size_t kRam = 512;  // RAM block inside the header

  // `data` must be an LDN-08 image of the right sizes (MakeStatModel checks).
  explicit StatModelLdn(StatData data);

  DeviceInfo GetDeviceInfo() const override;
  // Gтек, V+, V- and then "Час.", "Сут.", "Мес.": the newest valid record of
  // each archive, as "DD.MM.YY hh:00", "DD.MM.YY" and "MM.YY" ("-" when none).
  std::vector<CurrRow> CurrentRows() const override;
  EventTable Events() const override;
  std::uint32_t DeviceClockStamp() const override;
  std::string_view ReportTemplateName() const override { return "LDN"; }
  std::string_view ReportModelName() const override { return "LDN-08"; }

 protected:
  RawRecord ReadRaw(std::span<const std::uint8_t> rec) const override;
  std::uint32_t TimeOf(std::span<const std::uint8_t> rec) const override;
  void Finish(StatRecord& r, const RawRecord& raw) const override;
};

// Nominal diameter (mm) and flow (m³/h) of an LDN-08 code 0..7; 0 outside the table.
double NominalDiameterLdn(int code);
double NominalFlowLdn(int code);

}  // namespace statvtk
