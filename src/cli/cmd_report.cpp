// statvtk-cli report FILE: the hourly report of a day (--day) or the daily
// report of a period (--from, --to) as a workbook in Reports/.
#include <ostream>

#include "cli/commands.hpp"
#include "cli/report_args.hpp"
#include "reports/report_export.hpp"
#include "reports/report_source.hpp"

namespace statvtk::cli {

namespace {
constexpr const char* kReportHelp =
    "usage: statvtk-cli report FILE --day DD.MM.YY [--out PATH] [--member C|CM] [--home DIR]\n"
    "       statvtk-cli report FILE --from DD.MM.YY --to DD.MM.YY [--out PATH] [--member C|CM] [--home DIR]\n"
    "Fills a copy of the model's report template (Templates/<name>_h.xlsx or\n"
    "_d.xlsx) with the hourly records of one day or the daily records of a\n"
    "period (at most 31 days after the first) and prints the written file's path\n"
    "(by default in the program home's Reports/ folder). --day takes any day the\n"
    "file lists, even one that is not in the calendar (31.02.24). For a .814\n"
    "file the VTK-08.14 member (C or CM) given with --member is used, else the\n"
    "one remembered for its serial number at download, else C.\n";

int Fail(std::ostream& err, const std::string& reason) {
  err << kExcelFailure << ": " << reason << "\n";
  return kExitFile;
}

ReportRun RunOf(const FileCommandArgs& a) {
  ReportRun run;
  run.home = HomeOf(a);
  if (const auto out = a.Option("--out")) run.output = *out;
  return run;
}

int HourlyReport(const FileCommandArgs& a, std::shared_ptr<const StatModel> model, const CalendarDate& day,
                 std::ostream& out, std::ostream& err) {
  StatWindowModel window(model, day);
  window.SetMode(StatMode::Hourly);
  const std::string text = ShortDateText(day);
  const auto& items = window.Items();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].text == text) window.SelectItem(i);
  const ReportPlan plan = window.PrepareReport();
  if (plan.kind != ReportKind::Hourly) {
    err << a.file << ": no hourly records of " << text << "\n";
    return kExitFile;
  }
  const Result<std::filesystem::path> written = ExportHourDataToExcel(HourInputOf(*model, plan), RunOf(a));
  if (!written) return Fail(err, written.error().reason);
  out << written->string() << "\n";
  return kExitOk;
}

int DailyReport(const FileCommandArgs& a, std::shared_ptr<const StatModel> model, const CalendarDate& from,
                const CalendarDate& to, std::ostream& out, std::ostream& err) {
  StatWindowModel window(model, from);
  window.SetMode(StatMode::Daily);
  window.SetBeginDate(from);
  window.SetEndDate(to);
  window.DatesChanged();
  const ReportPlan plan = window.PrepareReport();
  if (plan.kind != ReportKind::Daily || plan.days.empty()) {
    err << a.file << ": no daily records from " << ShortDateText(window.BeginDate()) << " to "
        << ShortDateText(window.EndDate()) << "\n";
    return kExitFile;
  }
  const auto input = DailyInputOf(*model, plan, ShortDateText(window.BeginDate()), ShortDateText(window.EndDate()));
  const Result<std::filesystem::path> written = ExportDayDataToExcel(input, RunOf(a));
  if (!written) return Fail(err, written.error().reason);
  out << written->string() << "\n";
  return kExitOk;
}

}  // namespace

int RunReport(const Args& args, std::ostream& out, std::ostream& err) {
  const auto started = StartFileCommand(args, {"--day", "--from", "--to", "--out"}, "report", kReportHelp, out, err);
  if (const int* exit = std::get_if<int>(&started)) return *exit;
  const FileCommandArgs& a = std::get<FileCommandArgs>(started);
  const auto day = a.Option("--day"), from = a.Option("--from"), to = a.Option("--to");
  CalendarDate d1, d2;
  const bool hourly = day && !from && !to && ParseShortDate(*day, &d1, true);
  const bool daily = !day && from && to && ParseShortDate(*from, &d1) && ParseShortDate(*to, &d2);
  if (!hourly && !daily) {
    err << "statvtk-cli report: give --day DD.MM.YY, or --from DD.MM.YY and --to DD.MM.YY\n" << kReportHelp;
    return kExitUsage;
  }
  auto loaded = LoadForCommand(a, err);
  if (const int* exit = std::get_if<int>(&loaded)) return *exit;
  StatData& data = std::get<StatData>(loaded);
  std::shared_ptr<const StatModel> model = MakeStatModel(data);
  if (!model) {
    err << a.file << ": unknown statistics model\n";
    return kExitFile;
  }
  return hourly ? HourlyReport(a, model, d1, out, err) : DailyReport(a, model, d1, d2, out, err);
}

}  // namespace statvtk::cli
