#include "sim/shape_options.hpp"

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "base/command_line.hpp"

namespace statvtk::sim {

namespace {

// The longest reset and the farthest AGO of the memory shapes: ten years of hours.
constexpr long long kMaxShapeHours = 87600;
constexpr long long kMaxShapeDays = kMaxShapeHours / 24;

struct StateWord {
  std::string_view word;
  std::uint16_t cause;
};

// The states --flag sets, and the models that flag them.
constexpr std::array<StateWord, 8> kStateWords = {{
    {.word = "gmin", .cause = kGmin},               // all
    {.word = "gmax", .cause = kGmax},               // all
    {.word = "reverse", .cause = kReverse},         // all
    {.word = "excitation", .cause = kExcitation},   // VTK-08.12, VTK-08.14
    {.word = "empty-pipe", .cause = kEmptyPipe},    // VTK-08.14, LDN-08
    {.word = "temp-sensor", .cause = kTempSensor},  // VTK-08.14, LDN-08
    {.word = "air", .cause = kAir},                 // LDN-08
    {.word = "adc", .cause = kAdc},                 // VTK-08.12
}};

// "HOURS[@AGO]" (AGO `defaultAgo` when not given); nothing when not so.
std::optional<HourRun> ParseRun(std::string_view v, std::uint32_t defaultAgo) {
  const std::size_t at = v.find('@');
  const auto hours = args::DecimalValue(v.substr(0, at), 1, kMaxShapeHours);
  const auto ago =
      at == v.npos ? std::optional<long long>(defaultAgo) : args::DecimalValue(v.substr(at + 1), 0, kMaxShapeHours);
  if (!hours || !ago) return std::nullopt;
  return HourRun{.hours = static_cast<std::uint32_t>(*hours), .ago = static_cast<std::uint32_t>(*ago)};
}

// "NAME:HOURS[@AGO]" of --flag.
std::optional<StateRun> ParseState(std::string_view v) {
  const std::size_t colon = v.find(':');
  if (colon == v.npos) return std::nullopt;
  const auto cause = StateOfWord(v.substr(0, colon));
  const auto run = ParseRun(v.substr(colon + 1), 0);
  if (!cause || !run) return std::nullopt;
  return StateRun{.cause = *cause, .run = *run};
}

CLI::Validator Valid(std::function<bool(const std::string&)> ok, std::string why) {
  return CLI::Validator([ok = std::move(ok), why = std::move(why)](std::string& v) { return ok(v) ? "" : why; }, "");
}

const std::string kRunWords =
    "HOURS[@AGO], HOURS 1.." + std::to_string(kMaxShapeHours) + ", AGO 0.." + std::to_string(kMaxShapeHours);

// A repeatable HOURS[@AGO] option: each value through `add`.
void RunOption(CLI::App& app, const std::string& name, std::function<void(const HourRun&)> add,
               const std::string& what) {
  app.add_option_function<std::vector<std::string>>(
         name,
         [add = std::move(add)](const std::vector<std::string>& v) {
           for (const auto& text : v) add(*ParseRun(text, 0));
         },
         what)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->check(Valid([](const std::string& v) { return ParseRun(v, 0).has_value(); }, kRunWords))
      ->type_name("HOURS[@AGO]");
}

void RecordShapeOptionsOf(CLI::App& app, MemoryShapes& s) {
  app.add_option_function<std::string>(
         "--clock-reset",
         [&s](const std::string& v) {
           const HourRun r = *ParseRun(v, 24);
           s.clockReset = ClockReset{.hours = r.hours, .ago = r.ago};
         },
         "the clock was reset to 2000-01-01 00:00 and ran HOURS hours before it was set right AGO hours ago "
         "(default 24): the records written meanwhile carry 2000 dates")
      ->check(Valid([](const std::string& v) { return ParseRun(v, 24).has_value(); }, kRunWords))
      ->type_name("HOURS[@AGO]");
  auto ago = [&app](const std::string& name, std::optional<std::uint32_t>& target, const std::string& what) {
    args::AddOptional(app, name, target, what)->transform(args::Decimal(0, kMaxShapeHours))->type_name("AGO");
  };
  ago("--clock-back", s.clockBack,
      "the clock was set back an hour AGO hours ago: two hourly records of one period, in adjacent slots");
  ago("--bad-year", s.badYear,
      "the hourly record written AGO hours ago has the year byte 0xA0 (no BCD digit; VTK-08.14, LDN-08: the high "
      "byte of its time), its checksum good");
  app.add_flag("--garbage-slots", s.garbageSlots,
               "slots an archive never wrote hold arbitrary bytes (seeded), not erased memory's 0xFF");
  args::AddOptional(app, "--history-hours", s.historyHours,
                    "the archives and events were cleared N hours ago, so an area may hold fewer records than slots")
      ->transform(args::Decimal(1, kMaxShapeHours))
      ->type_name("N");
}

void ConsumptionOptionsOf(CLI::App& app, MemoryShapes& s) {
  app.option_defaults()->group("Consumption, states and events (what the analysis finds; AGO: hours before --now)");
  app.add_flag("--quiet-nights", s.quietNights,
               "no flow from 01:00 to 05:00 every night (without it every hour flows, so the analysis finds "
               "continuous and night flow)");
  auto days = [&app](const std::string& name, std::optional<std::uint32_t>& target, const char* type,
                     const std::string& what) {
    args::AddOptional(app, name, target, what)->transform(args::Decimal(1, kMaxShapeDays))->type_name(type);
  };
  days("--night-leak", s.nightLeak, "NIGHTS",
       "quiet nights (--quiet-nights), but the last NIGHTS of them a leak of 0.05 m3 an hour flows from 01:00 to "
       "05:00");
  days("--stopped", s.stopped, "DAYS", "no flow at all from 00:00 DAYS days ago to now");
  days("--spike", s.spike, "AGO_DAYS", "the day AGO_DAYS days ago (1: yesterday) has five times its flow");
  app.add_option_function<std::vector<std::string>>(
         "--flag",
         [&s](const std::vector<std::string>& v) {
           for (const auto& text : v) s.states.push_back(*ParseState(text));
         },
         "the state NAME (gmin, gmax, reverse, excitation, empty-pipe, temp-sensor, air, adc) set in the HOURS hourly "
         "records up to the one written AGO hours ago (default 0, the newest), on a model that flags it; repeatable")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->check(Valid([](const std::string& v) { return ParseState(v).has_value(); }, "NAME:" + kRunWords))
      ->type_name("NAME:HOURS[@AGO]");
  RunOption(
      app, "--reverse", [&s](const HourRun& r) { s.states.push_back({.cause = kReverse, .run = r}); },
      "the flow ran backwards in the HOURS hours up to AGO hours ago (default 0): --flag reverse:HOURS@AGO");
  RunOption(
      app, "--power-off", [&s](const HourRun& r) { s.powerOffs.push_back(r); },
      "the instrument was off for the HOURS hours up to AGO hours ago (default 0): no records, power off and on "
      "events");
  auto event = [&app, &s](const std::string& name, std::uint32_t kind, const std::string& what) {
    app.add_option_function<std::vector<std::string>>(
           name,
           [&s, kind](const std::vector<std::string>& v) {
             for (const auto& text : v)
               s.events.push_back(
                   {.kind = kind, .ago = static_cast<std::uint32_t>(*args::DecimalValue(text, 0, kMaxShapeHours))});
           },
           what)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(Valid([](const std::string& v) { return args::DecimalValue(v, 0, kMaxShapeHours).has_value(); },
                      "AGO 0.." + std::to_string(kMaxShapeHours)))
        ->type_name("AGO");
  };
  event("--settings-changed", kEvSettings, "a settings changed event in the hour written AGO hours ago");
  event("--calibration", kEvCalibration, "a calibration event then (VTK-08.14, LDN-08)");
  event("--clock-set", kEvClockSet,
        "a clock set event then (VTK-08.12 has none of its own: its settings event stands for it)");
}

}  // namespace

std::optional<std::uint16_t> StateOfWord(std::string_view word) {
  for (const StateWord& w : kStateWords)
    if (w.word == word) return w.cause;
  return std::nullopt;
}

void ShapeOptionsOf(CLI::App& app, MemoryShapes& s) {
  app.option_defaults()->group("Memory shapes (what real meters' archives hold; AGO: hours before --now)");
  RecordShapeOptionsOf(app, s);
  ConsumptionOptionsOf(app, s);
}

}  // namespace statvtk::sim
