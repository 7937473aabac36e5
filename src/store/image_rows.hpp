// A statistics image as the store's rows: every valid record of each archive
// (its period, the values show --json gives, its bytes) and the events.
#pragma once

#include <cstdint>
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

// The rows of the image; `readId` and `utcOffsetS` are stamped on each.
ImageRows RowsOf(const StatModel& model, std::int64_t readId, std::int64_t utcOffsetS);

// "DD.MM.YY hh:mm:ss" (an event's time as the model shows it) as
// "YYYY-MM-DD HH:MM:SS"; empty for another text.
std::string EventTimeText(const std::string& shown);

// Lower-case hex of bytes.
std::string HexOf(std::span<const std::uint8_t> bytes);

}  // namespace statvtk::store
