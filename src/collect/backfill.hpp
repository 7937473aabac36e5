// Backfill from the meter's own archive: which periods the store lacks, and
// after a read how many of them came back and how many are gone for good.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "stats/stat_model.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

// The periods of an archive an instrument keeps (the deepest of the models).
std::size_t ArchiveDepth(ArchiveKind kind);

// The span of periods a read after an earlier one should have left in the
// store: from the oldest held (no further back than the deepest archive
// reaches) up to `dueBy`, the newest period an earlier read should already
// have stored; none when that span is empty.
struct PeriodSpanText {
  std::string from, to;
};
std::optional<PeriodSpanText> WantedSpan(ArchiveKind kind, const std::string& oldestHeld,
                                         const store::PeriodTime& dueBy);

struct BackfillCount {
  std::vector<std::string> recovered, lost;
};

// The store's holes of the wanted span (`wanted`) split by the read's
// records: those it fetched came back, the rest are gone for good.
BackfillCount SplitWanted(const std::vector<std::string>& wanted, const std::vector<std::string>& fetched);

}  // namespace statvtk::collect
