// statvtk-collect report: the hourly report of a day and/or the daily report
// of a period for one instrument, from the store's records, in the workbooks
// statvtk-cli report fills (same templates, same cells).
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/command_line.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

struct StoreReportArgs {
  std::string serial;
  std::optional<std::string> day;                            // --day DD.MM.YY
  std::optional<std::pair<std::string, std::string>> daily;  // --daily FROM TO
  std::optional<std::filesystem::path> out;                  // --out PATH (one report only)
};

inline constexpr const char* kStoreReportAbout =
    "Fills the model's report template (Templates/<name>_h.xlsx or _d.xlsx, as\n"
    "statvtk-cli report) with the records the collector stored for the instrument:\n"
    "the hourly records of one day, or the daily records of a period (at most 31\n"
    "days after the first). --day and --daily together make both workbooks. The\n"
    "header cells come from the header of the instrument's newest stored read.\n"
    "Prints each written file's path (by default in the home's Reports/ folder).";
inline constexpr const char* kStoreReportFooter =
    "Exit status: 0 written, 1 no such records or the workbook failed, 2 bad usage.\n";

// The report's own options on `app`, into `a`.
void DeclareStoreReportOptions(CLI::App& app, StoreReportArgs& a);
// The choices checked together, once parsed; the reason when they are wrong.
std::optional<std::string> CheckStoreReportArgs(const StoreReportArgs& a);

// The options after "report" (--home and --config taken and left to the
// caller); nullopt with the reason in `why` when they are wrong.
std::optional<StoreReportArgs> ParseStoreReportArgs(const std::vector<std::string>& args, std::string* why);

// Makes the reports; the exit status.
int RunStoreReport(const StoreReportArgs& args, store::RecordStore& store, const std::filesystem::path& home,
                   std::ostream& out, std::ostream& err);

}  // namespace statvtk::collect
