// Reading only what is new: choosing the base file of an earlier read, and
// deciding per archive whether the records after the base's pointer can be
// laid into the base image or the archive must be read in full.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "reading/read_events.hpp"
#include "reading/read_maps.hpp"
#include "stats/stat_image.hpp"

namespace statvtk {

// The newest statistics file in `folder` named after `serialText` with the
// model's extension (by modification time); nothing when there is none.
std::optional<std::filesystem::path> NewestBaseFile(const std::filesystem::path& folder, const std::string& serialText,
                                                    DeviceType type);

// Why a base cannot serve this instrument at all: another model, or another
// serial number (both serial texts); none when it can.
struct BaseMismatch {
  BaseUnfit unfit = BaseUnfit::OtherModel;
  std::string baseSerial, serial;
};
std::optional<BaseMismatch> MismatchOf(const StatData& base, DeviceType type, std::span<const std::uint8_t> header);

// The instrument's clock in a header block as read (seconds since 1970), or
// nothing when it holds no valid date.
std::optional<std::int64_t> HeaderClock(DeviceType type, std::span<const std::uint8_t> header);

// The archive pointers of a header block (newest hourly, daily, monthly record).
struct ArchivePointers {
  std::uint32_t hourly = 0, daily = 0, monthly = 0;
};
ArchivePointers PointersOf(DeviceType type, std::span<const std::uint8_t> header);

// What to read of one archive.
struct ArchivePlan {
  bool full = true;
  FullReason reason = FullReason::BasePointer;  // why the archive is read in full
  std::uint32_t overlap = 0;                    // the base's newest record it holds, read again to compare
  std::vector<std::uint32_t> records;           // the slots the base lacks, then the new records oldest first
  std::size_t missing = 0;                      // of them, slots the base lacks
};

// The plan for one area. `periodS` is the time one record stands for (hour,
// day, 31 days for months); the clocks may be missing. `known` says which
// slots of the area the base holds as the instrument held them (by slot
// index); without it (empty), a slot that is all zero is one the base did
// not read. A slot the base does not hold is fetched with the new records
// (only it, not the whole area). The read compares the base's newest record
// it holds (at its pointer, else the nearest before it) with the
// instrument's; a base that holds none of the area is read in full.
ArchivePlan PlanArchive(const ArchiveArea& area, std::uint32_t basePointer, std::uint32_t pointer,
                        std::span<const std::uint8_t> baseArea, std::optional<std::int64_t> baseClock,
                        std::optional<std::int64_t> clock, std::int64_t periodS, const std::vector<bool>& known = {});

}  // namespace statvtk
