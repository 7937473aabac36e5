#include "collect/report_command.hpp"

#include <cstdio>

#include "collect/report_image.hpp"
#include "reports/report_export.hpp"
#include "reports/report_source.hpp"
#include "stats/stat_window.hpp"
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

Result<std::shared_ptr<const StatModel>> ModelOf(store::RecordStore& store, const StoreImageRequest& request,
                                                 const std::filesystem::path& home) {
  auto image = ImageFromStore(store, request, home);
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
  auto model = ModelOf(store, {a.serial, ArchiveKind::Hourly, p + " 00:00", p + " 23:00"}, home);
  const std::string text = ShortDateText(day);
  if (!model) {
    err << (model.error().reason.empty() ? "в хранилище нет часовых записей прибора " + a.serial + " за " + text
                                         : model.error().reason)
        << "\n";
    return 1;
  }
  StatWindowModel window(*model, day);
  window.SetMode(StatMode::Hourly);
  const auto& items = window.Items();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].text == text) window.SelectItem(i);
  const ReportPlan plan = window.PrepareReport();
  if (plan.kind != ReportKind::Hourly) {
    err << "в хранилище нет часовых записей прибора " << a.serial << " за " << text << "\n";
    return 1;
  }
  const auto written = ExportHourDataToExcel(HourInputOf(**model, plan), RunOf(a, home));
  if (!written) {
    err << kExcelFailure << ": " << written.error().reason << "\n";
    return 1;
  }
  out << written->string() << "\n";
  return 0;
}

int Daily(const StoreReportArgs& a, const CalendarDate& from, const CalendarDate& to, store::RecordStore& store,
          const std::filesystem::path& home, std::ostream& out, std::ostream& err) {
  auto model = ModelOf(store, {a.serial, ArchiveKind::Daily, DayPeriodText(from), DayPeriodText(to)}, home);
  const std::string span = ShortDateText(from) + " - " + ShortDateText(to);
  if (!model) {
    err << (model.error().reason.empty() ? "в хранилище нет суточных записей прибора " + a.serial + " за " + span
                                         : model.error().reason)
        << "\n";
    return 1;
  }
  StatWindowModel window(*model, from);
  window.SetMode(StatMode::Daily);
  window.SetBeginDate(from);
  window.SetEndDate(to);
  window.DatesChanged();
  const ReportPlan plan = window.PrepareReport();
  if (plan.kind != ReportKind::Daily || plan.days.empty()) {
    err << "в хранилище нет суточных записей прибора " << a.serial << " за " << span << "\n";
    return 1;
  }
  const auto input = DailyInputOf(**model, plan, ShortDateText(window.BeginDate()), ShortDateText(window.EndDate()));
  const auto written = ExportDayDataToExcel(input, RunOf(a, home));
  if (!written) {
    err << kExcelFailure << ": " << written.error().reason << "\n";
    return 1;
  }
  out << written->string() << "\n";
  return 0;
}

}  // namespace

std::optional<StoreReportArgs> ParseStoreReportArgs(const std::vector<std::string>& args, std::string* why) {
  StoreReportArgs a;
  auto need = [&](std::size_t i, std::size_t n) { return i + n < args.size(); };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& o = args[i];
    if (o == "--serial" && need(i, 1)) {
      a.serial = args[++i];
    } else if (o == "--day" && need(i, 1)) {
      a.day = args[++i];
    } else if (o == "--daily" && need(i, 2)) {
      a.daily = std::make_pair(args[i + 1], args[i + 2]);
      i += 2;
    } else if (o == "--out" && need(i, 1)) {
      a.out = args[++i];
    } else if ((o == "--home" || o == "--config") && need(i, 1)) {
      ++i;
    } else {
      *why = "report: unknown option or missing value: " + o;
      return std::nullopt;
    }
  }
  if (a.serial.empty()) *why = "report: --serial S is needed";
  else if (!a.day && !a.daily) *why = "report: give --day DD.MM.YY or --daily DD.MM.YY DD.MM.YY";
  else if (a.day && !ShortDate(*a.day)) *why = "report: --day " + *a.day + ": DD.MM.YY expected";
  else if (a.daily && (!ShortDate(a.daily->first) || !ShortDate(a.daily->second)))
    *why = "report: --daily " + a.daily->first + " " + a.daily->second + ": DD.MM.YY DD.MM.YY expected";
  else if (a.daily && DayNumber(*ShortDate(a.daily->second)) < DayNumber(*ShortDate(a.daily->first)))
    *why = "report: --daily: the first day is after the last";
  else if (a.day && a.daily && a.out) *why = "report: --out names one file: give --day or --daily";
  else return a;
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
