#include "collect/image/report_command.hpp"

#include <cstdio>

#include "collect/image/report_image.hpp"
#include "reports/report_export.hpp"
#include "reports/report_source.hpp"
#include "stats/report_plans.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

// "DD.MM.YY" -> a calendar date of 20YY.
std::optional<CalendarDate> ShortDate(const std::string& t) {
  int d = 0, m = 0, y = 0;
  char tail = 0;
  if (t.size() != 8 || std::sscanf(t.c_str(), "%2d.%2d.%2d%c", &d, &m, &y, &tail) != 3 || t[2] != '.' || t[5] != '.')
    return std::nullopt;
  const CalendarDate date{2000 + y, m, d};
  if (m < 1 || m > 12 || d < 1 || AddDays(date, 0) != date) return std::nullopt;
  return date;
}

std::string DayPeriodText(const CalendarDate& d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

Result<std::shared_ptr<const StatModel>> ModelOf(store::RecordStore& store, const StoreImageRequest& request) {
  auto image = ImageFromStore(store, request);
  if (!image) return image.error();
  if (image->records == 0) return MakeError(ErrorCode::BadData, "");
  std::shared_ptr<const StatModel> model = MakeStatModel(image->data);
  if (!model) return MakeError(ErrorCode::BadData, "неизвестная модель прибора");
  return model;
}

ReportRun RunOf(const StoreReportArgs& a, const std::filesystem::path& home) {
  ReportRun run;
  run.home = home;
  run.output = a.out;
  return run;
}

int Hourly(const StoreReportArgs& a, const CalendarDate& day, store::RecordStore& store,
           const std::filesystem::path& home, std::ostream& out, std::ostream& err) {
  const std::string p = DayPeriodText(day);
  auto model = ModelOf(store, {a.serial, ArchiveKind::Hourly, p + " 00:00", p + " 23:00"});
  const std::string text = ShortDateText(day);
  if (!model) {
    err << (model.error().reason.empty() ? "в хранилище нет часовых записей прибора " + a.serial + " за " + text
                                         : model.error().reason)
        << "\n";
    return 1;
  }
  const auto plan = PlanHourlyReport(*model, day);
  if (!plan) {
    err << "в хранилище нет часовых записей прибора " << a.serial << " за " << text << "\n";
    return 1;
  }
  const auto written = ExportHourDataToExcel(HourInputOf(**model, *plan), RunOf(a, home));
  if (!written) {
    err << kExcelFailure << ": " << written.error().reason << "\n";
    return 1;
  }
  out << written->string() << "\n";
  return 0;
}

int Daily(const StoreReportArgs& a, const CalendarDate& from, const CalendarDate& to, store::RecordStore& store,
          const std::filesystem::path& home, std::ostream& out, std::ostream& err) {
  auto model = ModelOf(store, {a.serial, ArchiveKind::Daily, DayPeriodText(from), DayPeriodText(to)});
  const std::string span = ShortDateText(from) + " - " + ShortDateText(to);
  if (!model) {
    err << (model.error().reason.empty() ? "в хранилище нет суточных записей прибора " + a.serial + " за " + span
                                         : model.error().reason)
        << "\n";
    return 1;
  }
  const DailyReportPlan p = PlanDailyReport(*model, from, to);
  if (!p.plan) {
    err << "в хранилище нет суточных записей прибора " << a.serial << " за " << span << "\n";
    return 1;
  }
  const auto input = DailyInputOf(**model, *p.plan, p.fromText, p.toText);
  const auto written = ExportDayDataToExcel(input, RunOf(a, home));
  if (!written) {
    err << kExcelFailure << ": " << written.error().reason << "\n";
    return 1;
  }
  out << written->string() << "\n";
  return 0;
}

}  // namespace

void DeclareStoreReportOptions(CLI::App& app, StoreReportArgs& a) {
  app.add_option("--serial", a.serial, "the instrument's serial number")->type_name("S");
  args::AddOptional(app, "--day", a.day, "the hourly report of this day")->type_name("DD.MM.YY");
  app.add_option_function<std::vector<std::string>>(
         "--daily",
         [&a](const std::vector<std::string>& v) {
           if (v.size() != 2) throw CLI::ArgumentMismatch("--daily", 2, v.size());
           a.daily = std::make_pair(v[0], v[1]);
         },
         "the daily report of the days FROM to TO")
      ->expected(2)
      ->option_text("FROM TO");
  args::AddOptional(app, "--out", a.out, "the workbook's path or folder (one report only)")->type_name("PATH");
}

std::optional<std::string> CheckStoreReportArgs(const StoreReportArgs& a) {
  if (a.serial.empty()) return "нужен --serial S";
  if (!a.day && !a.daily) return "укажите --day DD.MM.YY или --daily DD.MM.YY DD.MM.YY";
  if (a.day && !ShortDate(*a.day)) return "--day " + *a.day + ": ожидается DD.MM.YY";
  if (a.daily && (!ShortDate(a.daily->first) || !ShortDate(a.daily->second)))
    return "--daily " + a.daily->first + " " + a.daily->second + ": ожидается DD.MM.YY DD.MM.YY";
  if (a.daily && DayNumber(*ShortDate(a.daily->second)) < DayNumber(*ShortDate(a.daily->first)))
    return "--daily: первый день позже последнего";
  if (a.day && a.daily && a.out) return "--out задаёт один файл: укажите либо --day, либо --daily";
  return std::nullopt;
}

std::optional<StoreReportArgs> ParseStoreReportArgs(const std::vector<std::string>& args, std::string* why) {
  StoreReportArgs a;
  const auto app = args::MakeApp("statvtk-collect report", "");
  DeclareStoreReportOptions(*app, a);
  std::string callers;  // --home and --config are the caller's
  app->add_option("--home,--config", callers);
  const args::Parsed parsed = args::Parse(*app, args);
  std::optional<std::string> wrong =
      parsed.end == args::Parsed::End::Go ? CheckStoreReportArgs(a) : std::optional(parsed.text);
  if (!wrong) return a;
  *why = "report: " + *wrong;
  return std::nullopt;
}

int RunStoreReport(const StoreReportArgs& a, store::RecordStore& store, const std::filesystem::path& home,
                   std::ostream& out, std::ostream& err) {
  int status = 0;
  if (a.day) status = std::max(status, Hourly(a, *ShortDate(*a.day), store, home, out, err));
  if (a.daily)
    status = std::max(status, Daily(a, *ShortDate(a.daily->first), *ShortDate(a.daily->second), store, home, out, err));
  return status;
}

}  // namespace statvtk::collect
