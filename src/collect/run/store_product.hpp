// A read's product into the store, inside the read's transaction: its header
// block; the slots it fetched, by position (the image of the meter's memory
// the next read starts from), the slots the meter wrote since the base and
// this read did not see forgotten; the records that are periods of the
// meter, each told apart (added, the same, a conflict); the slots that are
// no period as findings; the gaps a whole image shows, as ranges; its
// events; the checks' findings and the instrument.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

#include "collect/mqtt/messages.hpp"
#include "collect/run/collect_pass.hpp"
#include "reading/new_records.hpp"

namespace statvtk::collect {

// What the read started from.
struct ProductBase {
  std::int64_t readId = 0;
  std::optional<std::time_t> previousStart;     // the previous attempt of this instrument
  std::optional<ArchivePointers> basePointers;  // the pointers of the image it started from
};

struct ProductPlace {
  const Config& cfg;
  const LineConfig& line;
  const InstrumentConfig& in;
  bool publish = false;  // the added records are published (MQTT)
};

Result<void> PutProduct(store::RecordStore& s, const ProductPlace& at, const ProductBase& b, const InstrumentRead& r,
                        const StatModel& model, InstrumentPass& p, ReadPublication& pub);

}  // namespace statvtk::collect
