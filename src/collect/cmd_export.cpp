// statvtk-collect export: one instrument's stored records as CSV or JSON.
#include <algorithm>
#include <cstdio>
#include <regex>

#include "collect/commands.hpp"
#include "collect/views/csv_cells.hpp"
#include "collect/views/fleet_export.hpp"
#include "collect/views/json_shapes.hpp"
#include "collect/views/month_export.hpp"
#include "collect/views/periods.hpp"

namespace statvtk::collect {

namespace {

const char* kExportAbout = R"(One instrument's stored records of one archive, oldest first, as CSV or as
JSON; with --all every instrument's, one row per instrument and period ("нет
данных" where the store holds no record), for billing; with --readings-at
every instrument's totals at a moment, from its nearest held record; with
--situations --month YYYY-MM each instrument's month for billing (hours
held, without data, with each flag, operating and error time) and its
abnormal situations overlapping the month.)";

// A bound as the store compares it: the REST API's forms, or DD.MM.YY and
// DD.MM.YYYY as reports take them; nullopt for anything else.
std::optional<std::string> Bound(const std::string& text) {
  static const std::regex dotted(R"((\d\d)\.(\d\d)\.(\d\d|\d{4}))");
  if (std::smatch m; std::regex_match(text, m, dotted))
    return NormalizedPeriod((m[3].length() == 2 ? "20" + m[3].str() : m[3].str()) + "-" + m[2].str() + "-" +
                            m[1].str());
  return NormalizedPeriod(text);
}

// Turns the option's value into its bound, or refuses it.
CLI::Validator PeriodBound() {
  return CLI::Validator(
      [](std::string& v) {
        const auto b = Bound(v);
        if (!b) return "not a date: " + v + " (YYYY-MM-DD, YYYY-MM-DD HH:00, YYYY-MM, YYYY or DD.MM.YY)";
        v = *b;
        return std::string();
      },
      "");
}

// export --situations --month YYYY-MM: the month's summaries and situations.
int ExportSituations(const Common& c, bool situations, const std::string& monthText, bool json, std::ostream& out,
                     std::ostream& err) {
  if (!situations || monthText.empty()) {
    err << "statvtk-collect export: --situations и --month задаются вместе (--situations --month ГГГГ-ММ)\n";
    return kExitConfig;
  }
  const auto month = BillingMonthOf(monthText);
  if (!month) {
    err << "statvtk-collect export: --month " << monthText
        << ": не месяц; нужен месяц в виде ГГГГ-ММ, например 2026-11 (год 2000-2099, месяц 01-12)\n";
    return kExitConfig;
  }
  auto cfg = LoadChecked(c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, c, err, true);
  if (!store) return kExitFailed;
  auto done = ExportMonth(*store, *month, json ? ExportForm::Json : ExportForm::Csv, out);
  out.flush();
  if (done && out) return kExitOk;
  err << "statvtk-collect export: " << (done ? "не удалось записать вывод" : done.error().reason) << "\n";
  return kExitFailed;
}

}  // namespace

int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommonArgs given;
  store::RecordQuery q;
  bool json = false;
  std::string archive = "hourly";
  const auto app = CommandApp("export", kExportAbout, given);
  bool all = false;
  std::string at;
  app->add_option("--serial", q.serial, "the instrument's serial number")->type_name("S");
  app->add_flag("--all", all, "every instrument of the store, each period of --from..--to (both needed)");
  app->add_option("--readings-at", at, "every instrument's totals at this moment (the same forms as --from)")
      ->transform(PeriodBound())
      ->type_name("D");
  app->add_option("--from", q.from, "the first period (YYYY, YYYY-MM, YYYY-MM-DD, YYYY-MM-DD HH:00 or DD.MM.YY)")
      ->transform(PeriodBound())
      ->type_name("D");
  app->add_option("--to", q.to, "the last period, inclusive (the same forms)")
      ->transform(PeriodBound())
      ->type_name("D");
  app->add_option("--archive", archive, "hourly (default), daily or monthly")
      ->check(CLI::IsMember({"hourly", "daily", "monthly"}).description(""))
      ->type_name("hourly|daily|monthly");
  bool situations = false;
  std::string month;
  app->add_flag("--situations", situations,
                "every instrument's month summary and situations of --month, for billing (docs/collect.md)");
  app->add_option("--month", month, "the month of --situations")->type_name("YYYY-MM");
  app->add_flag("--json,!--csv", json, "a JSON array of the REST API's records (--csv, the default: CSV)");
  if (auto done = ParseCommand(*app, args, out, err)) return *done;
  q.archive = *store::ArchiveOfName(archive);
  const Common c = given.Resolved();
  if (situations || !month.empty()) {
    if (all || !at.empty() || !q.serial.empty() || !q.from.empty() || !q.to.empty()) {
      err << "statvtk-collect export: --situations --month задаются без --serial, --all, --readings-at, --from "
             "и --to\n";
      return kExitConfig;
    }
    return ExportSituations(c, situations, month, json, out, err);
  }
  if ((all || !at.empty()) == !q.serial.empty() || (all && !at.empty())) {
    err << "statvtk-collect export: укажите одно из: --serial S, --all или --readings-at D\n";
    return kExitConfig;
  }
  if (all && (q.from.empty() || q.to.empty())) {
    err << "statvtk-collect export: для --all нужны --from и --to\n";
    return kExitConfig;
  }
  // A bound compares as a period text: "2024-05" covers the whole month, a
  // "to" date every hour of its day.
  if (!q.from.empty() && !q.to.empty() && q.from > q.to + "\x7f") {
    err << "statvtk-collect export: --from " << q.from << " позже --to " << q.to << "\n";
    return kExitConfig;
  }
  if (!q.to.empty()) q.to += "\x7f";
  auto cfg = LoadChecked(c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, c, err, true);
  if (!store) return kExitFailed;
  if (all || !at.empty()) {
    const ExportForm form = json ? ExportForm::Json : ExportForm::Csv;
    auto done = all ? ExportFleet(*store, q.archive, q.from, q.to, form, out) : ExportReadingsAt(*store, at, form, out);
    out.flush();
    if (done && out) return kExitOk;
    err << "statvtk-collect export: " << (done ? "не удалось записать вывод" : done.error().reason) << "\n";
    return kExitFailed;
  }
  // An unknown serial is said so, not answered with an empty table.
  if (auto known = store->Instruments(); !known) {
    err << "statvtk-collect export: " << known.error().reason << "\n";
    return kExitFailed;
  } else if (std::none_of(known->begin(), known->end(), [&](const auto& i) { return i.serial == q.serial; })) {
    err << "statvtk-collect export: в хранилище нет прибора с заводским номером " << q.serial << "\n";
    return kExitFailed;
  }
  auto rows = store->Records(q);
  if (!rows) {
    err << "statvtk-collect export: " << rows.error().reason << "\n";
    return kExitFailed;
  }
  if (json) {
    Json list = Json::array();
    for (const auto& r : *rows) list.push_back(SerialRecordJson(r));
    out << JsonText(list) << "\n";
  } else {
    out << "serial,archive,period,forward_total,reverse_total,forward_increment,reverse_increment,flags,fields\n";
    for (const auto& r : *rows)
      out << CsvQuoted(r.serial) << "," << store::ArchiveName(r.archive) << "," << r.period << ","
          << CsvNumber(r.forwardTotal) << "," << CsvNumber(r.reverseTotal) << "," << CsvNumber(r.forwardIncrement)
          << "," << CsvNumber(r.reverseIncrement) << "," << r.flags << "," << CsvQuoted(r.fields) << "\n";
  }
  out.flush();
  return out ? kExitOk : kExitFailed;
}

}  // namespace statvtk::collect
