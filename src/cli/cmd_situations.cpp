// statvtk-cli situations FILE: the abnormal situations and the months of a
// statistics file, as a table or as JSON.
#include <cmath>
#include <cstdio>

#include "analysis/situations.hpp"
#include "base/json_text.hpp"
#include "base/printable_text.hpp"
#include "cli/cli_options.hpp"
#include "cli/commands.hpp"
#include "cli/report_args.hpp"
#include "front/situation_texts.hpp"
#include "stats/record_plausible.hpp"

namespace statvtk::cli {

namespace {

const char* kSituationsAbout = R"(Finds the abnormal situations in a statistics file (.vst, .814, .ldn): runs
of hours with each status flag of the records, the events (power off,
states an event sets and a later one clears, settings, calibration, clock
set) and the volume rules (night flow, continuous flow, no consumption,
reverse volume, consumption spike); then each month's hours held, without
data and with each flag, and the operating and error time. --from and --to
keep what touches those days. Missing hours are no data, never zero flow.
docs/statistics.md describes the rules and the JSON.)";

const char* kSituationsFooter = R"(Exit status: 0 done, 2 bad usage, 3 the file could not be read or has the
wrong size or extension, or standard output could not be written.
)";

struct RuleOption {
  const char* option;
  const char* key;
  const char* type;
  const char* help;
};

constexpr RuleOption kRuleOptions[] = {
    {.option = "--night-flow",
     .key = "NightFlow",
     .type = "M3",
     .help = "an hour's m³ at 02..04 that counts as night flow (0.02)"},
    {.option = "--nights-in-row", .key = "NightsInRow", .type = "N", .help = "nights of flow in a row (3)"},
    {.option = "--continuous-hours",
     .key = "ContinuousHours",
     .type = "N",
     .help = "hours of flow without a pause (48)"},
    {.option = "--no-flow-days", .key = "NoFlowDays", .type = "N", .help = "days below 0.001 m³ in a row (7)"},
    {.option = "--reverse-limit",
     .key = "ReverseLimit",
     .type = "M3",
     .help = "an hour's reverse m³ above this is reverse volume (0.01)"},
    {.option = "--spike-factor",
     .key = "SpikeFactor",
     .type = "X",
     .help = "a day above X times its weekday's median is a spike (3)"},
};

struct Options : FileCommandArgs {
  std::optional<std::string> from, to;
  bool json = false;
  std::vector<std::pair<const char*, std::string>> rules;  // key, value
};

void DeclareOptions(CLI::App& app, Options& o) {
  args::AddOptional(app, "--from", o.from, "from this day")->type_name("DD.MM.YY");
  args::AddOptional(app, "--to", o.to, "to this day")->type_name("DD.MM.YY");
  app.add_flag("--json", o.json, "one JSON object instead of text (docs/statistics.md describes it)");
  for (const RuleOption& r : kRuleOptions)
    app.add_option_function<std::string>(
           r.option, [&o, key = r.key](const std::string& v) { o.rules.emplace_back(key, v); }, r.help)
        ->check(CLI::Validator(
            [key = r.key](std::string& v) {
              analysis::Settings scratch;
              const Result<void> r = analysis::SetSetting(scratch, key, v);
              if (r) return std::string();
              // The option names the setting already: its reason without the key.
              const std::string prefix = std::string(key) + ": ";
              const std::string& reason = r.error().reason;
              return reason.starts_with(prefix) ? reason.substr(prefix.size()) : reason;
            },
            ""))
        ->type_name(r.type);
}

// Hours and volumes to the meter's resolution: no binary noise of sums.
double Rounded(double v) { return std::round(v * 1e6) / 1e6; }

Json JsonOf(const analysis::Analysis& a, const StatModel& m) {
  Json j;
  j["serial"] = SerialForJson(m.SerialText());
  j["model"] = DeviceTypeName(m.Type());
  Json list = Json::array();
  for (const analysis::Situation& s : a.situations) {
    Json x;
    x["kind"] = analysis::SituationKindName(s.kind);
    x["source"] = analysis::SituationSourceName(s.source);
    x["from"] = analysis::HourText(s.from);
    x["to"] = s.to ? Json(analysis::HourText(*s.to)) : Json(nullptr);
    x["hours"] = s.hours;
    x["text"] = SituationText(s);
    x["volume"] = s.volume ? Json(Rounded(*s.volume)) : Json(nullptr);
    list.push_back(std::move(x));
  }
  j["situations"] = std::move(list);
  Json months = Json::array();
  for (const analysis::MonthSummary& ms : a.months) {
    char month[16];
    std::snprintf(month, sizeof month, "%04d-%02d", ms.year, ms.month);
    Json x;
    x["month"] = month;
    x["hours"] = ms.hours;
    x["hours_held"] = ms.held;
    x["hours_missing"] = ms.missing;
    Json flags = Json::object();
    for (const auto& [word, hours] : ms.flagHours) flags[word] = hours;
    x["flag_hours"] = std::move(flags);
    x["operating_hours"] = ms.operatingHours ? Json(Rounded(*ms.operatingHours)) : Json(nullptr);
    x["error_hours"] = ms.errorHours ? Json(Rounded(*ms.errorHours)) : Json(nullptr);
    months.push_back(std::move(x));
  }
  j["months"] = std::move(months);
  return j;
}

// `text` padded with blanks to `width` characters (not bytes).
std::string Pad(const std::string& text, std::size_t width) {
  std::size_t chars = 0;
  for (const char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return text + std::string(width > chars ? width - chars : 0, ' ');
}

void Text(const analysis::Analysis& a, const StatModel& m, std::ostream& out) {
  out << "Модель: " << DeviceTypeName(m.Type()) << "\n";
  out << "Заводской номер: " << PrintableText(m.SerialText()) << "\n\n";
  out << "Нештатные ситуации\n";
  if (a.situations.empty()) out << "  нет\n";
  else out << "  " << Pad("Начало", 18) << Pad("Конец", 18) << Pad("Часов", 7) << Pad("Ситуация", 22) << "Источник\n";
  for (const analysis::Situation& s : a.situations) {
    out << "  " << Pad(analysis::HourText(s.from), 18) << Pad(s.to ? analysis::HourText(*s.to) : kSituationOpenText, 18)
        << Pad(std::to_string(s.hours), 7) << Pad(PrintableText(SituationText(s)), 22) << SituationSourceText(s.source);
    if (s.volume) {
      char volume[48];
      std::snprintf(volume, sizeof volume, "  %.3f м3", *s.volume);
      out << volume;
    }
    out << "\n";
  }
  out << "\nМесяцы\n";
  if (a.months.empty()) out << "  нет часовых записей\n";
  for (const analysis::MonthSummary& ms : a.months) {
    char line[160];
    std::snprintf(line, sizeof line, "  %02d.%04d  часов %lld, с данными %lld, без данных %lld", ms.month, ms.year,
                  ms.hours, ms.held, ms.missing);
    out << line;
    if (ms.operatingHours && ms.errorHours) {
      std::snprintf(line, sizeof line, ", Tраб %.2f ч, Tош %.2f ч", *ms.operatingHours, *ms.errorHours);
      out << line;
    }
    for (const auto& [word, hours] : ms.flagHours)
      if (hours > 0) out << ", " << PrintableText(word) << " " << hours << " ч";
    out << "\n";
  }
}

// The span of --from and --to as settings; false after a usage error.
bool SpanOf(const Options& o, analysis::Settings& s, std::ostream& err) {
  CalendarDate day;
  if (o.from) {
    if (!ParseShortDate(*o.from, &day)) return UsageError(err, "situations", "--from: not a date DD.MM.YY"), false;
    s.from = CalendarSecondsOf(day.year, day.month, day.day, 0);
  }
  if (o.to) {
    if (!ParseShortDate(*o.to, &day)) return UsageError(err, "situations", "--to: not a date DD.MM.YY"), false;
    s.to = CalendarSecondsOf(day.year, day.month, day.day, 23);
  }
  if (s.from && s.to && *s.from > *s.to) return UsageError(err, "situations", "--from is after --to"), false;
  return true;
}

}  // namespace

int RunSituations(const Args& args, std::ostream& out, std::ostream& err) {
  Options o;
  if (auto done = ParseFileCommand({"situations", kSituationsAbout, kSituationsFooter}, o, args, out, err))
    return *done;
  analysis::Settings settings;
  if (!SpanOf(o, settings, err)) return kExitUsage;
  for (const auto& [key, value] : o.rules)
    if (auto set = analysis::SetSetting(settings, key, value); !set)
      return UsageError(err, "situations", set.error().reason);
  auto loaded = LoadForCommand(o, err);
  if (const int* exit = std::get_if<int>(&loaded)) return *exit;
  const auto model = MakeStatModel(std::get<StatData>(loaded));
  if (!model) {
    err << o.file << ": not a statistics file\n";
    return kExitFile;
  }
  const analysis::Analysis result = analysis::Analyse(analysis::MeterRecordsOf(*model), settings);
  if (o.json) out << JsonText(JsonOf(result, *model)) << "\n";
  else Text(result, *model, out);
  return kExitOk;
}

}  // namespace statvtk::cli
