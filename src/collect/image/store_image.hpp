// An instrument's memory as the store last saw it: the header block of its
// newest read as statistics data, and each archive slot a read saw laid at
// its own position, byte for byte whatever it holds. It is the base of the
// next new-records read; the slots no read saw (or the meter wrote since)
// are marked unknown, and that read fetches them.
#pragma once

#include <cstdint>
#include <array>
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

// The image and which slots of each archive (by ArchiveKind) it knows.
struct StoredImage {
  StatData data;
  std::array<std::vector<bool>, 3> known;
  std::size_t unknown = 0;  // slots of the archives asked that no read saw
};

// The serial's newest image, or none when no read of it stored a header.
// A VTK-08.12 (whose read takes the whole memory) gets its header alone.
Result<std::optional<StoredImage>> NewestImage(store::RecordStore& store, const std::string& serial);

}  // namespace statvtk::collect
