// Abnormal situations of one instrument and its months for billing, from the
// flags of its hourly records, its events and its volumes. Pure functions:
// the desktop, statvtk-cli and the collector call the same ones.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/meter_records.hpp"
#include "base/error.hpp"

namespace statvtk::analysis {

enum class SituationKind {
  Flag,              // a status bit of the records, or a state an event set (the model's word in `detail`)
  PowerOff,          // from a power-off event to the power coming back
  SettingsChanged,   // an event: settings changed (one hour)
  Calibration,       // an event: calibrated (one hour)
  ClockChanged,      // an event: the clock was set (one hour)
  NightFlow,         // flow at 02:00..04:00 on several nights in a row: a leak
  ContinuousFlow,    // flow in every hour for a long run of hours
  NoConsumption,     // no flow for a run of days
  ReverseVolume,     // an hour's reverse volume above the limit
  ConsumptionSpike,  // a day's volume far above the same weekday's median
  // Those the collector sees itself, never the analysis of the records:
  MeterReplaced,  // another serial answers at an instrument's address (one hour; "old → new" in `detail`)
  ClockDrift,     // the meter's clock off the collector's by more than its limit, while it lasts
  CallInRefused,  // a call-in with a known Id from an address the listener does not allow (the address in `detail`)
};
enum class SituationSource { Flags, Events, Rule, Collector };

// "flag", "power_off", "settings_changed", "calibration", "clock_changed",
// "night_flow", "continuous_flow", "no_consumption", "reverse_volume", "consumption_spike",
// "meter_replaced", "clock_drift", "call_in_refused".
std::string_view SituationKindName(SituationKind kind);
// Every kind, in the order above.
inline constexpr SituationKind kSituationKinds[] = {SituationKind::Flag,
                                                    SituationKind::PowerOff,
                                                    SituationKind::SettingsChanged,
                                                    SituationKind::Calibration,
                                                    SituationKind::ClockChanged,
                                                    SituationKind::NightFlow,
                                                    SituationKind::ContinuousFlow,
                                                    SituationKind::NoConsumption,
                                                    SituationKind::ReverseVolume,
                                                    SituationKind::ConsumptionSpike,
                                                    SituationKind::MeterReplaced,
                                                    SituationKind::ClockDrift,
                                                    SituationKind::CallInRefused};
// The kind of a name SituationKindName gives; none for another text.
std::optional<SituationKind> SituationKindOfName(std::string_view name);
// "flags", "events", "rule", "collector".
std::string_view SituationSourceName(SituationSource source);
std::optional<SituationSource> SituationSourceOfName(std::string_view name);

struct Situation {
  SituationKind kind = SituationKind::Flag;
  SituationSource source = SituationSource::Flags;
  long long from = 0;            // start of its first hour, calendar seconds
  std::optional<long long> to;   // start of its last hour; empty while it is still true at the newest data
  long long hours = 0;           // hours it holds (a rule: its qualifying hours; open: up to the newest data)
  std::string detail;            // the model's word of a flag or an event column; empty otherwise
  std::optional<double> volume;  // the volume rules: forward volume over it (reverse for ReverseVolume), m³
};

// The rules' settings, each under its key for a settings file.
struct Settings {
  double nightFlow = 0.02;     // NightFlow=: m³ an hour at 02:00, 03:00 and 04:00 that counts as flow
  int nightsInRow = 3;         // NightsInRow=
  int continuousHours = 48;    // ContinuousHours=
  int noFlowDays = 7;          // NoFlowDays=
  double reverseLimit = 0.01;  // ReverseLimit=: m³ an hour
  double spikeFactor = 3;      // SpikeFactor=
  // The span looked at (calendar seconds, both ends inclusive): situations
  // that touch it, the months' hours inside it. The rules still read the
  // records before it (earlier nights, the weeks of a median).
  std::optional<long long> from, to;
};

// Sets the setting of `key` ("NightFlow", ...) from its text; an error for
// an unknown key or a value out of its range (counts from 1, limits from 0).
Result<void> SetSetting(Settings& settings, std::string_view key, std::string_view value);
// The keys SetSetting knows, in the order above.
std::vector<std::string_view> SettingKeys();

// One calendar month of the hourly archive, for billing.
struct MonthSummary {
  int year = 0, month = 0;
  long long hours = 0;    // hours of the month looked at: from the oldest hourly record (or `from`)
                          // to the newest hour due by the meter's clock (or `to`)
  long long held = 0;     // of them with a record
  long long missing = 0;  // without one: no data
  std::vector<std::pair<std::string, long long>> flagHours;  // hours with each flag set, in bit order
  std::optional<double> operatingHours, errorHours;          // where the model counts them
};

struct Analysis {
  std::vector<Situation> situations;  // by start, then kind
  std::vector<MonthSummary> months;   // in time order
};

Analysis Analyse(const MeterRecords& records, const Settings& settings);

// The parts of Analyse, each over the whole records.
std::vector<Situation> FlagSituations(const MeterRecords& records);
std::vector<Situation> EventSituations(const MeterRecords& records);
std::vector<Situation> RuleSituations(const MeterRecords& records, const Settings& settings);
std::vector<MonthSummary> MonthSummaries(const MeterRecords& records, const Settings& settings);

// The start of an hour as "YYYY-MM-DD HH:00".
std::string HourText(long long seconds);

}  // namespace statvtk::analysis
