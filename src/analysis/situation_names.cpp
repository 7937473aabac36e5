// The codes of situations, the rules' settings by key, and hour texts.
#include <charconv>
#include <cstdio>
#include <string>

#include "analysis/situations.hpp"
#include "base/device_values.hpp"

namespace statvtk::analysis {

namespace {

struct SettingKey {
  std::string_view key;
  double Settings::*real = nullptr;
  int Settings::*count = nullptr;
};

constexpr SettingKey kSettingKeys[] = {
    {.key = "NightFlow", .real = &Settings::nightFlow},
    {.key = "NightsInRow", .count = &Settings::nightsInRow},
    {.key = "ContinuousHours", .count = &Settings::continuousHours},
    {.key = "NoFlowDays", .count = &Settings::noFlowDays},
    {.key = "ReverseLimit", .real = &Settings::reverseLimit},
    {.key = "SpikeFactor", .real = &Settings::spikeFactor},
};

// A decimal number of the whole text (digits, one point; no sign, no exponent).
std::optional<double> Decimal(std::string_view text) {
  if (text.empty() || text.size() > 32) return std::nullopt;
  int points = 0, digits = 0;
  for (const char c : text) {
    if (c == '.') ++points;
    else if (c >= '0' && c <= '9') ++digits;
    else return std::nullopt;
  }
  if (points > 1 || digits == 0) return std::nullopt;
  double v = 0;
  if (std::from_chars(text.data(), text.data() + text.size(), v).ec != std::errc()) return std::nullopt;
  return v;
}

}  // namespace

std::string_view SituationKindName(SituationKind kind) {
  switch (kind) {
    case SituationKind::Flag: return "flag";
    case SituationKind::PowerOff: return "power_off";
    case SituationKind::SettingsChanged: return "settings_changed";
    case SituationKind::Calibration: return "calibration";
    case SituationKind::ClockChanged: return "clock_changed";
    case SituationKind::NightFlow: return "night_flow";
    case SituationKind::ContinuousFlow: return "continuous_flow";
    case SituationKind::NoConsumption: return "no_consumption";
    case SituationKind::ReverseVolume: return "reverse_volume";
    case SituationKind::ConsumptionSpike: return "consumption_spike";
    case SituationKind::MeterReplaced: return "meter_replaced";
    case SituationKind::ClockDrift: return "clock_drift";
    case SituationKind::CallInRefused: return "call_in_refused";
  }
  return "";
}

std::string_view SituationSourceName(SituationSource source) {
  switch (source) {
    case SituationSource::Flags: return "flags";
    case SituationSource::Events: return "events";
    case SituationSource::Rule: return "rule";
    case SituationSource::Collector: return "collector";
  }
  return "";
}

std::optional<SituationKind> SituationKindOfName(std::string_view name) {
  for (const SituationKind k : kSituationKinds)
    if (SituationKindName(k) == name) return k;
  return std::nullopt;
}

std::optional<SituationSource> SituationSourceOfName(std::string_view name) {
  for (const auto s :
       {SituationSource::Flags, SituationSource::Events, SituationSource::Rule, SituationSource::Collector})
    if (SituationSourceName(s) == name) return s;
  return std::nullopt;
}

Result<void> SetSetting(Settings& settings, std::string_view key, std::string_view value) {
  for (const SettingKey& k : kSettingKeys) {
    if (k.key != key) continue;
    const auto number = Decimal(value);
    if (k.real) {
      if (!number)
        return MakeError(ErrorCode::BadSettings, std::string(key) + ": \"" + std::string(value) + "\" не число от 0");
      settings.*k.real = *number;
      return {};
    }
    if (!number || *number < 1 || *number > 100000 || *number != static_cast<int>(*number))
      return MakeError(ErrorCode::BadSettings,
                       std::string(key) + ": \"" + std::string(value) + "\" не целое число от 1 до 100000");
    settings.*k.count = static_cast<int>(*number);
    return {};
  }
  return MakeError(ErrorCode::BadSettings, "неизвестный параметр " + std::string(key));
}

std::vector<std::string_view> SettingKeys() {
  std::vector<std::string_view> keys;
  for (const SettingKey& k : kSettingKeys) keys.push_back(k.key);
  return keys;
}

std::string HourText(long long seconds) {
  const CivilTime t = DeviceTimeToCivil(static_cast<std::uint32_t>(seconds < 0 ? 0 : seconds));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:00", t.year, t.month, t.day, t.hour);
  return buf;
}

}  // namespace statvtk::analysis
