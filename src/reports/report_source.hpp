// The reports' inputs taken from a statistics model and the plan its window
// prepared (PrepareReport): header data, the hour slots of a day, the
// days of a daily report.
#pragma once

#include "reports/daily_report.hpp"
#include "reports/hour_report.hpp"
#include "stats/stat_model.hpp"
#include "stats/stat_window.hpp"

namespace statvtk {

// Serial text, option flag, device values F2..I2, V2 and the device clock stamp.
ReportHeaderData ReportHeaderOf(const StatModel& model);

// One decoded record in the reports' form.
ReportRecord ToReportRecord(const StatRecord& rec, bool checksumOk);

// The hourly report of plan.dayText: slot h is filled from plan.hours[h].
HourReportInput HourInputOf(const StatModel& model, const ReportPlan& plan);

// The daily report of plan.days between the two "DD.MM.YY" texts.
DailyReportInput DailyInputOf(const StatModel& model, const ReportPlan& plan, const std::string& fromText,
                              const std::string& toText);

}  // namespace statvtk
