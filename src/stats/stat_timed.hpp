// The common part of the models whose archive records start with a device
// time (VTK-08.14 and LDN-08): archive maps, validity, indices in time order
// and the totals/increments of a decoded record.
#pragma once

#include <array>
#include <vector>

#include "stats/stat_model.hpp"

namespace statvtk {

// Where one archive lies in the area: first offset, record count, record size.
struct ArchiveMap {
  std::size_t offset = 0;
  std::size_t count = 0;
  std::size_t recordSize = 0;
};

// The stored fields of a record as numbers (totals: V+, V-, M+, M- in millionths).
struct RawRecord {
  std::uint32_t time = 0;
  std::array<std::uint64_t, 4> totals{};
  std::array<std::uint32_t, 4> counters{};
  float valueA = 0, valueB = 0;  // 08.14: temperature, mean flow; LDN: mean flow, supply voltage
  std::uint32_t flags = 0;
};

class TimedStatModel : public StatModel {
 public:
  bool HasArchive(ArchiveKind kind) const override;
  std::span<const IndexEntry> Index(ArchiveKind kind) const override;
  bool ChecksumValid(ArchiveKind kind, std::size_t i) const override;
  std::optional<std::uint32_t> RecordStamp(ArchiveKind kind, std::size_t i) const override;
  StatRecord Decode(ArchiveKind kind, std::size_t i) const override;
  std::size_t RecordSize(ArchiveKind kind) const override { return Map(kind).recordSize; }

  const ArchiveMap& Map(ArchiveKind kind) const { return maps_[static_cast<std::size_t>(kind)]; }
  // A record is valid when its time lies from 946684800 to 0x9FFFFFFF and its bytes add up to 0xFF.
  bool ValidRecordAt(ArchiveKind kind, std::uint32_t pos) const;
  // Rebuilds the three indices (stable, invalid records at the end).
  void SortIndices();

 protected:
  TimedStatModel(StatData data, std::array<ArchiveMap, 3> maps);
  // Reads the record at pos (pos and the record size lie inside the area).
  virtual RawRecord ReadRaw(std::span<const std::uint8_t> rec) const = 0;
  virtual std::uint32_t TimeOf(std::span<const std::uint8_t> rec) const = 0;
  // Fills the model's named values, extra value and status text.
  virtual void Finish(StatRecord& r, const RawRecord& raw) const = 0;

 private:
  std::array<ArchiveMap, 3> maps_;
  std::array<std::vector<IndexEntry>, 3> index_;
};

// The highest device time a valid archive record may carry.
inline constexpr std::uint32_t kLastRecordTime = 0x9FFFFFFFu;

}  // namespace statvtk
