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

// The holes among the held periods (between the oldest and the newest held),
// less those known gone: what a read is asked to bring back before anything
// newer is known. Both lists ascending.
std::vector<std::string> Holes(ArchiveKind kind, const std::vector<std::string>& held,
                               const std::vector<std::string>& gone);

struct BackfillInput {
  ArchiveKind kind = ArchiveKind::Hourly;
  std::vector<std::string> heldBefore;  // in the store before the read (ascending)
  std::vector<std::string> gone;        // known gone (ascending)
  std::vector<std::string> fetched;     // in the read's image (any order)
  // The newest period that an earlier read should already have stored
  // (instrument time), or empty when there was no earlier read.
  std::optional<store::PeriodTime> dueBy;
};

struct BackfillCount {
  std::vector<std::string> wanted, recovered, lost;
};

// The gap periods: missing from the store (and not gone) from its oldest
// held period up to `dueBy`; recovered: those in the image; lost: the rest.
BackfillCount CountBackfill(const BackfillInput& in);

}  // namespace statvtk::collect
