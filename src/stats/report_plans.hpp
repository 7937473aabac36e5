// What a report holds, chosen as the statistics window chooses it for the
// desktop's report command: one day's hourly records, or the daily records of
// a span. The command line and the collector's reports take it from here.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "stats/stat_window.hpp"

namespace statvtk {

// The hours of `day` (the list line "DD.MM.YY"); nullopt when the model has none.
std::optional<ReportPlan> PlanHourlyReport(std::shared_ptr<const StatModel> model, const CalendarDate& day);

struct DailyReportPlan {
  std::optional<ReportPlan> plan;  // nullopt: no daily record within the span
  std::string fromText, toText;    // the span as the window settled it ("DD.MM.YY")
};
DailyReportPlan PlanDailyReport(std::shared_ptr<const StatModel> model, const CalendarDate& from,
                                const CalendarDate& to);

}  // namespace statvtk
