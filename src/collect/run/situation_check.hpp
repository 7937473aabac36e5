// After a read that stored records: the instrument's abnormal situations
// found again over the last weeks of its records (the analysis of
// src/analysis with its [Rules]) and refreshed in the store, their state
// per kind into the MQTT outbox in the same transaction. A failure is logged
// and never fails the read.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/situations.hpp"
#include "collect/fleet/log_fields.hpp"
#include "collect/run/store_writer.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::collect {

// The weeks of records the rules look back over (nights in a row, a
// weekday's median over four weeks before the day).
inline constexpr long long kSituationWindowS = 35LL * 86400;

// The situations of a model's records of the last five weeks as rows of `serial`.
std::vector<store::SituationRow> FoundSituations(const StatModel& model, const std::string& serial,
                                                 const analysis::Settings& rules);

// Finds and stores the situations of `serial` from the image of its read
// (the stored image with what the read fetched laid in: the same bytes),
// else from the store's newest image; what changed, or none when it failed
// (said through `log`).
std::optional<store::SituationChanges> CheckSituations(StoreWriter& writer, const std::string& serial,
                                                       const analysis::Settings& rules, const StatData* readImage,
                                                       const LogTo& log);

}  // namespace statvtk::collect
