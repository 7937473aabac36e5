// A statistics image as the store's rows: every record of each archive that
// is a period of the meter (its period, the values show --json gives, its
// bytes), the slots that hold something else as evidence, and the events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "stats/record_plausible.hpp"
#include "stats/stat_model.hpp"
#include "store/record_store.hpp"

namespace statvtk::store {

// A written slot that holds no period of the meter: where, why, its bytes
// and the date they spell.
struct SlotEvidence {
  ArchiveKind archive = ArchiveKind::Hourly;
  std::uint32_t pos = 0;  // the record's offset in the area
  SlotVerdict verdict = SlotVerdict::Checksum;
  std::string raw;    // lower-case hex
  std::string shown;  // the date as its bytes spell it, "YYYY-MM-DD HH"
};

struct ImageRows {
  std::vector<RecordRow> records;  // by archive, then in the index's time order
  std::vector<EventRow> events;
  std::vector<SlotEvidence> evidence;  // by archive, in the index's order
};

// The serial as show --json gives it (a damaged byte at or above 0x80 as U+FFFD).
std::string StoredSerial(const StatModel& model);

// Which records of the image become rows: by archive and the record's
// offset in the area (empty: all).
using RecordFilter = std::function<bool(ArchiveKind kind, std::uint32_t pos)>;

// The rows of the image; `readId` and `utcOffsetS` are stamped on each.
// The increments are the image's, so a record keeps those it has in the
// whole image even when only it is taken. A record is a row when it is a
// period of the meter (VerdictOf), its latest bound the meter's clock, else
// `localNow` (calendar seconds of the reading PC's local time), plus one
// period; every other written slot is evidence.
ImageRows RowsOf(const StatModel& model, std::int64_t readId, std::int64_t utcOffsetS, const RecordFilter& keep = {},
                 std::optional<long long> localNow = std::nullopt);

// "DD.MM.YY hh:mm:ss" or "DD/MM/YY hh:mm:ss" (an event's time as the model shows it) as
// "YYYY-MM-DD HH:MM:SS"; empty for another text.
std::string EventTimeText(const std::string& shown);

// Lower-case hex of bytes.
std::string HexOf(std::span<const std::uint8_t> bytes);

}  // namespace statvtk::store
