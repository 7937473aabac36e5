// [Rules] and [Rules NAME] of collect.ini: the abnormal situations' rules,
// each key checked by the analysis that takes it.
#include "collect/config/ini_sections.hpp"

namespace statvtk::collect::ini {

void FillRuleSets(Checker& c, const std::vector<Section>& sections, Config& cfg) {
  for (const Section& s : sections)
    if (s.kind == "rules" && s.name.empty()) cfg.rules = FillRules(c, s, cfg.rules);
  for (const Section& s : sections)
    if (s.kind == "rules" && !s.name.empty()) cfg.ruleSets.push_back({s.name, FillRules(c, s, cfg.rules), s.line});
}

analysis::Settings FillRules(Checker& c, const Section& s, analysis::Settings base) {
  for (const auto& [key, value] : s.values) {
    const std::string name = Checker::KeyName(key);
    if (auto set = analysis::SetSetting(base, name, value.first); !set) {
      std::string_view reason = set.error().reason;
      if (reason.starts_with(name + ": ")) reason.remove_prefix(name.size() + 2);
      c.Problem(value.second, name + "=" + value.first + ": " + std::string(reason));
    }
  }
  return base;
}

}  // namespace statvtk::collect::ini
