// The named values of a decoded record under their stable keys
// ("forward_total", "temperature", ...): what `show --json` prints and what
// the collector stores, decoded once.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stats/stat_model.hpp"

namespace statvtk {

// The key of a model's value name ("V+, м3" -> "forward_total"); the name
// itself for one without a key.
std::string RecordValueKey(std::string_view name);

struct RecordValue {
  std::string key;
  std::optional<double> value;  // empty: an increment of a record whose increments are unknown
};

// The record's values in the model's order, then (VTK-08.14) its mean flow.
std::vector<RecordValue> RecordValues(const StatModel& model, const StatRecord& record);

// The values other than the totals and volume increments, as a JSON object
// in that order ("{}" when none), written as show --json writes numbers.
std::string OtherValuesJson(const std::vector<RecordValue>& values);

// The value of `key`, or empty (absent, or unknown).
std::optional<double> ValueOf(const std::vector<RecordValue>& values, std::string_view key);

}  // namespace statvtk
