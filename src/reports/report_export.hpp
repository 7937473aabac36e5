// Running a report: find the model's template, build the cell block while
// reporting progress, fill a copy of the template and write it into the
// program home's Reports/ folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/progress_observer.hpp"
#include "reports/daily_report.hpp"
#include "reports/hour_report.hpp"

namespace statvtk {

enum class TemplateKind { Hourly, Daily };

// The caller's message when a report fails.
inline constexpr const char* kExcelFailure = "Невозможно передать данные в Excel";

// "Templates/" + name + "_h.xlsx" (or "_d.xlsx") searched in the program
// home's Templates/ (a user's own template wins), then the installed folder
// beside the running program, then the build's own folder when the program
// runs from the build tree. `tried` receives every path looked at.
std::optional<std::filesystem::path> FindTemplate(const std::filesystem::path& home, const std::string& name,
                                                  TemplateKind kind,
                                                  std::vector<std::filesystem::path>* tried = nullptr);

// The running program's installed template folder and the build's own (where
// the build writes them).
std::filesystem::path InstalledTemplateFolder();
std::filesystem::path BuildTemplateFolder();

// `s` as a part of a file name by the one safe-name rule (SafeNamePart),
// "device" when nothing is left.
std::string SafeName(const std::string& s);

// "<serial>_<YYYY-MM-DD>_hourly.xlsx" and "<serial>_<from>_<to>_daily.xlsx"
// from "DD.MM.YY" texts; each part by the safe-name rule (SafeNamePart), a
// missing serial as "device".
std::string HourlyReportFileName(const std::string& serial, const std::string& dayText);
std::string DailyReportFileName(const std::string& serial, const std::string& fromText, const std::string& toText);

struct ReportRun {
  std::filesystem::path home;
  ProgressObserver* observer = nullptr;         // null: no reporting
  bool readingRunning = false;                  // a statistics reading runs: restore its progress
  int rememberedMax = 0;                        // the progress maximum to restore then
  std::optional<std::filesystem::path> output;  // instead of Reports/<name>
};

// The hourly report: "Запуск сервера...", "Передача данных...", progress 0..24,
// then the progress restored. The written file's path, or the error, whose
// reason is also logged.
Result<std::filesystem::path> ExportHourDataToExcel(const HourReportInput& input, const ReportRun& run);
// The daily report on the same machinery (progress 0..number of days).
Result<std::filesystem::path> ExportDayDataToExcel(const DailyReportInput& input, const ReportRun& run);

}  // namespace statvtk
