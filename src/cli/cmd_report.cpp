// statvtk-cli report FILE: the hourly report of a day (--day) or the daily
// report of a period (--from, --to) as a workbook in Reports/.
#include <ostream>

#include "cli/cli_options.hpp"
#include "cli/commands.hpp"
#include "cli/report_args.hpp"
#include "reports/report_export.hpp"
#include "reports/report_source.hpp"
#include "stats/report_plans.hpp"

namespace statvtk::cli {

namespace {
constexpr const char* kReportAbout =
    "Fills a copy of the model's report template (Templates/<name>_h.xlsx or\n"
    "_d.xlsx) with the hourly records of one day (--day) or the daily records of\n"
    "a period (--from and --to, at most 31 days after the first) and prints the\n"
    "written file's path (by default in the program home's Reports/ folder).\n"
    "--day takes any day the file lists, even one that is not in the calendar\n"
    "(31.02.24). For a .814 file the VTK-08.14 member (C or CM) given with\n"
    "--member is used, else the one remembered for its serial number at\n"
    "download, else C.";

constexpr const char* kReportFooter =
    "Exit status: 0 written, 2 bad usage, 3 the file could not be read, the day\n"
    "has no records or the workbook could not be made.\n";

struct ReportOptions : FileCommandArgs {
  std::optional<std::string> day, from, to;
  std::optional<std::filesystem::path> out;
};

void DeclareOptions(CLI::App& app, ReportOptions& o) {
  args::AddOptional(app, "--day", o.day, "the hourly report of this day")->type_name("DD.MM.YY");
  args::AddOptional(app, "--from", o.from, "the daily report from this day")->type_name("DD.MM.YY");
  args::AddOptional(app, "--to", o.to, "... to this day")->type_name("DD.MM.YY");
  args::AddOptional(app, "--out", o.out, "the workbook's path or folder (default: Reports/ of the home)")
      ->type_name("PATH");
}

int Fail(std::ostream& err, const std::string& reason) {
  err << kExcelFailure << ": " << reason << "\n";
  return kExitFile;
}

ReportRun RunOf(const ReportOptions& o) {
  ReportRun run;
  run.home = HomeOf(o);
  run.output = o.out;
  return run;
}

int HourlyReport(const ReportOptions& o, std::shared_ptr<const StatModel> model, const CalendarDate& day,
                 std::ostream& out, std::ostream& err) {
  const auto plan = PlanHourlyReport(model, day);
  if (!plan) {
    err << o.file << ": no hourly records of " << ShortDateText(day) << "\n";
    return kExitFile;
  }
  const Result<std::filesystem::path> written = ExportHourDataToExcel(HourInputOf(*model, *plan), RunOf(o));
  if (!written) return Fail(err, written.error().reason);
  out << written->string() << "\n";
  return kExitOk;
}

int DailyReport(const ReportOptions& o, std::shared_ptr<const StatModel> model, const CalendarDate& from,
                const CalendarDate& to, std::ostream& out, std::ostream& err) {
  const DailyReportPlan p = PlanDailyReport(model, from, to);
  if (!p.plan) {
    err << o.file << ": no daily records from " << p.fromText << " to " << p.toText << "\n";
    return kExitFile;
  }
  const Result<std::filesystem::path> written =
      ExportDayDataToExcel(DailyInputOf(*model, *p.plan, p.fromText, p.toText), RunOf(o));
  if (!written) return Fail(err, written.error().reason);
  out << written->string() << "\n";
  return kExitOk;
}

}  // namespace

int RunReport(const Args& args, std::ostream& out, std::ostream& err) {
  ReportOptions o;
  if (auto done = ParseFileCommand({"report", kReportAbout, kReportFooter}, o, args, out, err)) return *done;
  CalendarDate d1, d2;
  const bool hourly = o.day && !o.from && !o.to && ParseShortDate(*o.day, &d1, true);
  const bool daily = !o.day && o.from && o.to && ParseShortDate(*o.from, &d1) && ParseShortDate(*o.to, &d2);
  if (!hourly && !daily) return UsageError(err, "report", "give --day DD.MM.YY, or --from DD.MM.YY and --to DD.MM.YY");
  auto loaded = LoadForCommand(o, err);
  if (const int* exit = std::get_if<int>(&loaded)) return *exit;
  StatData& data = std::get<StatData>(loaded);
  std::shared_ptr<const StatModel> model = MakeStatModel(data);
  if (!model) {
    err << o.file << ": unknown statistics model\n";
    return kExitFile;
  }
  return hourly ? HourlyReport(o, model, d1, out, err) : DailyReport(o, model, d1, d2, out, err);
}

}  // namespace statvtk::cli
