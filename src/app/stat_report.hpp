// Runs the report a statistics window prepared (hourly or daily) into the
// report folder, with the progress bar following it, and hands the finished
// workbook to the spreadsheet program when the report settings say so.
#pragma once

#include <filesystem>
#include <string>

#include "base/error.hpp"
#include "stats/stat_window.hpp"

class QWidget;

namespace statvtk::app {

class AppServices;

// The workbook written, or why not (the reason is also in the log).
using ReportOutcome = Result<std::filesystem::path>;

// What a report that was never made reports: a plan of kind None does nothing
// and gives this (code BadSettings, empty reason).
Error NoReportMade();

// A failure shows "Невозможно передать данные в Excel" and logs the reason.
ReportOutcome RunStatReport(const StatModel& model, const ReportPlan& plan, const std::string& fromText,
                            const std::string& toText, AppServices& app, QWidget* parent);

}  // namespace statvtk::app
