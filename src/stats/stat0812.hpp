// VTK-08.12: the hourly and daily archives of the 64 KB Data EEPROM image,
// their record index, the decoded record, the device information and events.
#pragma once

#include <array>

#include "stats/stat_model.hpp"

namespace statvtk {

// One VTK-08.12 record decoded (all zero before each decode).
struct DecodedRecord0812 {
  double ForwardTotal = 0, ForwardInc = 0;  // m³
  double ReverseTotal = 0, ReverseInc = 0;  // m³
  std::array<std::uint32_t, 4> Counters{};  // hundredths, as stored
  std::array<float, 4> CounterInc{};        // unsigned 32-bit differences
  std::uint8_t Flags = 0;                   // byte 28
  bool IncKnown = false;                    // the increments above are known (else all 0)
};

// The information block of a VTK-08.12.
struct DevInfo0812 {
  std::string Serial;  // 8 characters, zero bytes as "#"
  std::uint8_t DiameterCode = 0;
  int Diameter = 0;  // mm; 0 for a code above 7
  float Cal1 = 0, Cal2 = 0, Cal3 = 0;
  std::uint8_t Setting1 = 0, Setting2 = 0;
  float CurrentFlow = 0;                  // Gтек, m³/h
  double ForwardNow = 0, ReverseNow = 0;  // m³
  std::uint32_t Value24 = 0;
};

class StatModel0812 final : public StatModel {
 public:
  static constexpr std::size_t kRecordSize = 32;
  static constexpr std::size_t kHourlyOffset = 0x4000, kHourlyCount = 1080;
  static constexpr std::size_t kDailyOffset = 0xD000, kDailyCount = 366;
  static constexpr std::size_t kIndexSize = kHourlyCount + kDailyCount;  // 1446
  static constexpr std::size_t kFirstDaily = kHourlyCount;               // 1080
  static constexpr std::size_t kEventOffset = 0, kEventCount = 256, kEventSize = 16;

  // `data` must be a VTK-08.12 image of the right sizes (MakeStatModel checks).
  explicit StatModel0812(StatData data);

  bool ValidCS(std::uint32_t pos) const;      // the 32 bytes at pos add up to 0xFF
  bool ValidRecord(std::uint32_t pos) const;  // date check and ValidCS
  void ISortStatData();                       // rebuilds the 1446-entry index
  const std::array<IndexEntry, kIndexSize>& SortIndex() const { return index_; }
  // Entry 0..1445. The increments are taken against entry i - 1; they are
  // unknown for the first entry of each archive (0, 1080) and where the slot
  // before the record in its circular area is blank.
  DecodedRecord0812 DecodeRecord(std::size_t i) const;
  DevInfo0812 GetDevInfo() const;

  bool HasArchive(ArchiveKind kind) const override;
  std::span<const IndexEntry> Index(ArchiveKind kind) const override;
  bool ChecksumValid(ArchiveKind kind, std::size_t i) const override;
  std::optional<std::uint32_t> RecordStamp(ArchiveKind kind, std::size_t i) const override;
  StatRecord Decode(ArchiveKind kind, std::size_t i) const override;
  std::size_t RecordSize(ArchiveKind kind) const override { return HasArchive(kind) ? kRecordSize : 0; }
  DeviceInfo GetDeviceInfo() const override;
  EventTable Events() const override;
  std::uint32_t DeviceClockStamp() const override;
  std::string_view ReportTemplateName() const override { return "VTK0812"; }
  std::string_view ReportModelName() const override { return "VTK-08.12"; }

 private:
  std::uint32_t KeyAt(std::uint32_t pos) const;
  std::array<IndexEntry, kIndexSize> index_{};
};

// The nominal diameter of a VTK-08.12 code 0..7 (mm), 0 for any other code.
int Diameter0812(std::uint8_t code);

}  // namespace statvtk
