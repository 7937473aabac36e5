// The values table of a statistics window: one row per period of the chosen
// span (hour of the selected day, selected day or month), with the volumes,
// their increments and the model's other values, and a "нет данных" row for
// each period inside the span that has no valid record.
#pragma once

#include <string>
#include <vector>

#include "stats/stat_window.hpp"

namespace statvtk {

inline constexpr const char* kNoDataText = "нет данных";

struct ValuesRow {
  std::string period;               // "14:00", "14.06.24" or "06.24"
  std::vector<std::string> fields;  // one per heading after the first; empty for a row without data
  bool missing = false;             // no valid record in this period
};

struct ValuesTable {
  std::vector<std::string> headings;  // "Период", the model's values, the counters' increments, "Состояние"
  std::vector<ValuesRow> rows;        // in time order
};

// Hourly mode: the hours of the selected day up to the instrument's clock.
// Daily mode: the selected days, and the unlisted days between them. Monthly
// mode: the selected months (every listed month when none is), and the
// unlisted months between them. A period with several records (an hour
// that closed twice) shows the last totals and the sum of the increments.
ValuesTable ValuesTableOf(const StatWindowModel& window);

// The table as tab-separated lines (headings first), for the clipboard.
std::string TabSeparated(const ValuesTable& table);

}  // namespace statvtk
