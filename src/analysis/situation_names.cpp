// The codes of situations, the rules' settings by key, and hour texts.
#include <charconv>
#include <cstdio>
#include <iterator>
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

// Each kind's and each source's code, in the order of the enums.
constexpr std::string_view kKindNames[] = {"flag",           "power_off",         "settings_changed", "calibration",
                                           "clock_changed",  "night_flow",        "continuous_flow",  "no_consumption",
                                           "reverse_volume", "consumption_spike", "meter_replaced",   "clock_drift",
                                           "call_in_refused"};
static_assert(std::size(kKindNames) == std::size(kSituationKinds));
constexpr std::string_view kSourceNames[] = {"flags", "events", "rule", "collector"};

template <class E, std::size_t N>
std::string_view NameIn(const std::string_view (&names)[N], E value) {
  const auto i = static_cast<std::size_t>(value);
  return i < N ? names[i] : "";
}

template <class E, std::size_t N>
std::optional<E> ValueIn(const std::string_view (&names)[N], std::string_view name) {
  for (std::size_t i = 0; i < N; ++i)
    if (names[i] == name) return static_cast<E>(i);
  return std::nullopt;
}

}  // namespace

std::string_view SituationKindName(SituationKind kind) { return NameIn(kKindNames, kind); }

std::string_view SituationSourceName(SituationSource source) { return NameIn(kSourceNames, source); }

std::optional<SituationKind> SituationKindOfName(std::string_view name) {
  return ValueIn<SituationKind>(kKindNames, name);
}

std::optional<SituationSource> SituationSourceOfName(std::string_view name) {
  return ValueIn<SituationSource>(kSourceNames, name);
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
