// An instrument's newest state rebuilt from the store: the header block of
// its newest read as statistics data, and the archive records laid at the
// places that header's pointers give them in the instrument's memory. It is
// the base of the next new-records read and the source of the reports.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "stats/stat_image.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// A stored header as statistics data: the model's blank image with the
// header block the read fetched; BadData when the model or the block's size
// is not one this program knows.
Result<StatData> HeaderData(const store::HeaderRow& header);

// The bytes of a stored record's hex; none for another text.
std::optional<std::vector<std::uint8_t>> BytesOfHex(std::string_view hex);

// Where the records of one archive go, newest at the pointer, each older
// period one slot back: a period known gone took no slot (the instrument
// never wrote it), a hole stays zero (so that a read of that area cannot
// trust it). `newestFirst` are the stored periods with their bytes, newest
// first; `twice` the periods the instrument wrote twice (the clock set back:
// the record kept as a conflict, written after the stored one) with the
// second record's bytes. A record that cannot be placed for sure (no calendar
// date) ends the laying there, the older slots left zero.
struct StoredRecord {
  std::string period;
  std::vector<std::uint8_t> bytes;
};
void LayRecords(ArchiveKind kind, std::span<std::uint8_t> area, std::size_t offset, std::size_t count,
                std::size_t recordSize, std::uint32_t pointer, const std::vector<StoredRecord>& newestFirst,
                const std::vector<std::string>& gone, const std::map<std::string, std::vector<std::uint8_t>>& twice);

// The serial's newest image, or none when no read of it stored a header.
// A VTK-08.12 (whose read takes the whole memory) gets its header alone.
Result<std::optional<StatData>> NewestImage(store::RecordStore& store, const std::string& serial);

}  // namespace statvtk::collect
