// A statistics image rebuilt from the store, so that the reports of
// statvtk-cli (same templates, same cells, same decoding) are made from the
// records the collector gathered over many reads: the header block of the
// instrument's newest read and the archive records of the period (and the
// one before it, for the increments), all from the store.
#pragma once

#include <filesystem>
#include <string>

#include "base/error.hpp"
#include "stats/stat_image.hpp"
#include "stats/stat_model.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

struct StoreImageRequest {
  std::string serial;
  ArchiveKind archive = ArchiveKind::Hourly;
  std::string from, to;  // periods of the store, inclusive ("YYYY-MM-DD 00:00".."YYYY-MM-DD 23:00")
};

struct StoreImage {
  StatData data;
  std::size_t records = 0;      // records of [from, to] placed
  std::int64_t headerRead = 0;  // the read whose header block it holds
};

// Builds the image; BadData with the reason when the store holds no header
// of the instrument.
Result<StoreImage> ImageFromStore(store::RecordStore& store, const StoreImageRequest& request);
// The same for an instrument whose model the caller knows (a fleet's export
// asks the store for its instruments once, not once per instrument).
Result<StoreImage> ImageFromStore(store::RecordStore& store, const StoreImageRequest& request, DeviceType type);

}  // namespace statvtk::collect
