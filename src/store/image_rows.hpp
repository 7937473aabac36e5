// A statistics image as the store's rows: every valid record of each archive
// (its period, the values show --json gives, its bytes) and the events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "stats/stat_model.hpp"
#include "store/record_store.hpp"

namespace statvtk::store {

struct ImageRows {
  std::vector<RecordRow> records;  // by archive, then in the index's time order
  std::vector<EventRow> events;
};

// The serial as show --json gives it (a damaged byte at or above 0x80 as U+FFFD).
std::string StoredSerial(const StatModel& model);

// Which records of the image become rows: by archive and the record's
// offset in the area (empty: all).
using RecordFilter = std::function<bool(ArchiveKind kind, std::uint32_t pos)>;

// The rows of the image; `readId` and `utcOffsetS` are stamped on each.
// The increments are the image's, so a record keeps those it has in the
// whole image even when only it is taken. `withInvalid`: a record that
// fails the instrument's check but whose stamp names a calendar period
// (a damaged checksum) is a row too, `valid` false, so that its bytes and
// its place in the archive are kept.
ImageRows RowsOf(const StatModel& model, std::int64_t readId, std::int64_t utcOffsetS, const RecordFilter& keep = {},
                 bool withInvalid = false);

// "DD.MM.YY hh:mm:ss" (an event's time as the model shows it) as
// "YYYY-MM-DD HH:MM:SS"; empty for another text.
std::string EventTimeText(const std::string& shown);

// Lower-case hex of bytes.
std::string HexOf(std::span<const std::uint8_t> bytes);

}  // namespace statvtk::store
