// Runs the report a statistics window prepared (hourly or daily) into the
// report folder, with the progress bar following it, and hands the finished
// workbook to the spreadsheet program when the report settings say so.
#pragma once

#include <filesystem>
#include <string>

#include "stats/stat_window.hpp"

class QWidget;

namespace statvtk::app {

class AppServices;

struct ReportOutcome {
  bool ok = false;
  std::filesystem::path written;  // the workbook, when ok
  std::string reason;             // why not, when not ok (also in the log)
};

// A plan of kind None does nothing (ok = false, empty reason). A failure shows
// "Невозможно передать данные в Excel" and logs the reason.
ReportOutcome RunStatReport(const StatModel& model, const ReportPlan& plan, const std::string& fromText,
                            const std::string& toText, AppServices& app, QWidget* parent);

}  // namespace statvtk::app
