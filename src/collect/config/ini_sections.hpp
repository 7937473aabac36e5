// The reading of collect.ini's sections, shared by the files that fill each
// kind: a section with its keys (each checked against its kind), the
// checker that takes a key's value or notes a problem at its line, and the
// value parsers the sections share. Internal to config/.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ini_file.hpp"
#include "collect/config/collect_config.hpp"
#include "base/ascii.hpp"

namespace statvtk::collect::ini {

// Lower-case ASCII (keys and section kinds are matched without case).
// collect.ini's names and keys compare without ASCII case.
inline std::string Lower(std::string_view s) { return AsciiLower(s); }
// A whole decimal number in [lo, hi]; none for anything else.
std::optional<long long> Integer(std::string_view s, long long lo, long long hi);
// A speed the link can set.
std::optional<long long> BaudRate(const std::string& v);
std::optional<std::string> AnyText(const std::string& v);
std::optional<std::string> NonEmpty(const std::string& v);  // none for an empty text
std::optional<bool> Bool01(const std::string& v);           // "0" or "1"
inline auto Range(long long lo, long long hi) {
  return [lo, hi](const std::string& v) { return Integer(v, lo, hi); };
}

struct Section {
  std::string kind;  // "collector", "line", "instrument"
  std::string name;
  int line = 0;
  std::map<std::string, std::pair<std::string, int>> values;  // lower-case key -> value, line
};

class Checker {
 public:
  std::vector<ConfigProblem> problems;
  void Problem(int line, std::string reason) { problems.push_back({line, std::move(reason)}); }

  // The value of `key`, checked by `parse`; `def` when absent.
  template <class T, class Parse>
  T Take(const Section& s, const std::string& key, T def, Parse parse, const std::string& expected) {
    const auto it = s.values.find(key);
    if (it == s.values.end()) return def;
    auto v = parse(it->second.first);
    if (!v) {
      Problem(it->second.second, KeyName(key) + "=" + it->second.first + ": ожидается " + expected);
      return def;
    }
    return *v;
  }
  // The key as collect.ini spells it ("clocklimit" -> "ClockLimit").
  static std::string KeyName(const std::string& key);
};

// The sections of the file with their keys, each key checked against its kind of section.
std::vector<Section> ReadSections(const IniFile& ini, Checker& c);

// Each kind of section into its part of the configuration.
void FillCollector(Checker& c, const Section& s, CollectorConfig& col);
void FillLine(Checker& c, const Section& s, LineConfig& l);
ModemPoolConfig FillPool(Checker& c, const Section& s);
ListenConfig FillListen(Checker& c, const Section& s);
// [Rules] or [Rules NAME]: its keys set over `base` (each checked as the
// analysis takes it), ClockDrift= over `clockDriftS`.
analysis::Settings FillRules(Checker& c, const Section& s, analysis::Settings base, long long& clockDriftS);
// Every [Rules] and [Rules NAME] into cfg.rules and cfg.ruleSets.
void FillRuleSets(Checker& c, const std::vector<Section>& sections, Config& cfg);
// `addresses` holds the (line, address) pairs taken so far.
InstrumentConfig FillInstrument(Checker& c, const Section& s, const Config& cfg,
                                std::set<std::pair<std::string, std::uint32_t>>& addresses);

}  // namespace statvtk::collect::ini
