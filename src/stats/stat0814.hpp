// VTK-08.14 (C and CM): hourly, daily and monthly archives of 64-byte records,
// 16-byte events, and the configuration values of the information block.
#pragma once

#include "stats/stat_timed.hpp"

namespace statvtk {

class StatModel0814 final : public TimedStatModel {
 public:
  static constexpr std::size_t kRecordSize = 64;
  static constexpr ArchiveMap kHourly{0, 1440, 64}, kDaily{92160, 400, 64}, kMonthly{117760, 120, 64};
  static constexpr std::size_t kEventOffset = 125440, kEventCount = 352, kEventSize = 16;

  // `data` must be a VTK-08.14 image of the right sizes (MakeStatModel checks).
  explicit StatModel0814(StatData data);

  // Bit 0 of the option flags (header 548): no temperature sensor.
  bool OptionNoT() const;

  DeviceInfo GetDeviceInfo() const override;
  EventTable Events() const override;
  std::uint32_t DeviceClockStamp() const override;
  std::string_view ReportTemplateName() const override { return OptionNoT() ? "VTK0814_no_T" : "VTK0814"; }
  std::string_view ReportModelName() const override { return "VTK-08.14"; }

 protected:
  RawRecord ReadRaw(std::span<const std::uint8_t> rec) const override;
  std::uint32_t TimeOf(std::span<const std::uint8_t> rec) const override;
  void Finish(StatRecord& r, const RawRecord& raw) const override;
};

// Nominal diameter (mm) and nominal flow (m³/h) of a code for C or CM; 0 outside the table.
double NominalDiameter0814(DeviceType t, int code);
double NominalFlow0814(DeviceType t, int code);

}  // namespace statvtk
