#include "collect/http/situations.hpp"

#include <map>

#include "analysis/situations.hpp"
#include "base/json_text.hpp"
#include "base/utf8.hpp"
#include "collect/http/metrics.hpp"
#include "front/situation_texts.hpp"

namespace statvtk::collect {

namespace {

Json OrNull(const std::string& s) { return s.empty() ? Json(nullptr) : Json(ValidUtf8(s)); }

Json SituationJson(const store::SituationRow& s, const std::string& name) {
  const auto source = analysis::SituationSourceOfName(s.source);
  return Json{{"id", s.id},
              {"serial", ValidUtf8(s.serial)},
              {"name", OrNull(name)},
              {"kind", ValidUtf8(s.kind)},
              {"kind_text", ValidUtf8(SituationText(s.kind, s.detail))},
              {"source", ValidUtf8(s.source)},
              {"source_text", source ? Json(std::string(SituationSourceText(*source))) : Json(nullptr)},
              {"from", s.fromPeriod},
              {"to", s.toPeriod ? Json(*s.toPeriod) : Json(nullptr)},
              {"hours", s.hours},
              {"detail", ValidUtf8(s.detail)},
              {"raised_utc", s.raisedUtc},
              {"cleared_utc", OrNull(s.clearedUtc)},
              {"acked_by", OrNull(s.ackBy)},
              {"acked_utc", OrNull(s.ackUtc)}};
}

// A date "YYYY-MM-DD" or an hour "YYYY-MM-DD HH:00" of digits.
bool PeriodLike(const std::string& s) {
  if (s.size() != 10 && s.size() != 16) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const bool digit = c >= '0' && c <= '9';
    if (i == 4 || i == 7 ? c != '-' : i == 10 ? c != ' ' : i == 13 ? c != ':' : !digit) return false;
  }
  return true;
}

HttpAnswer Failed(const Error& e) {
  if (store::StoreUnavailable(e)) return FleetApi::Refuse(503, "хранилище недоступно: " + e.reason);
  return FleetApi::Refuse(500, "ошибка хранилища: " + e.reason);
}

}  // namespace

HttpAnswer SituationsAnswer(store::RecordStore& db, const QueryParams& query) {
  store::SituationQuery q;
  for (const auto& [key, value] : query) {
    if (key == "open" && (value == "0" || value == "1")) q.openOnly = value == "1";
    else if (key == "kind" && (value.empty() || analysis::SituationKindOfName(value))) q.kind = value;
    else if (key == "since" && (value.empty() || PeriodLike(value))) q.since = value;
    else if (key == "serial") q.serial = value;
    else if (key == "open" || key == "kind" || key == "since")
      return FleetApi::Refuse(400, key + ": " +
                                       (key == "open"   ? "0 или 1"
                                        : key == "kind" ? "вид ситуации (night_flow, flag, ...)"
                                                        : "дата ГГГГ-ММ-ДД или час ГГГГ-ММ-ДД ЧЧ:00"));
    else return FleetApi::Refuse(400, "неизвестный параметр: " + key.substr(0, 40));
  }
  auto rows = db.Situations(q);
  if (!rows) return Failed(rows.error());
  std::map<std::string, std::string> names;
  if (auto instruments = db.Instruments())
    for (const auto& i : *instruments) names[i.serial] = i.name;
  Json list = Json::array();
  for (const auto& s : *rows) list.push_back(SituationJson(s, names[s.serial]));
  return {200, "application/json; charset=utf-8", JsonText(list) + "\n"};
}

std::string SituationMetricsText(const std::vector<store::SituationRow>& open) {
  std::map<std::string, long long> count;
  for (const auto k : analysis::kSituationKinds) count[std::string(analysis::SituationKindName(k))] = 0;
  for (const auto& s : open) ++count[s.kind];
  std::string out =
      "# HELP statvtk_situations_open Abnormal situations going on now (not yet closed), by kind.\n"
      "# TYPE statvtk_situations_open gauge\n";
  for (const auto& [kind, n] : count)
    out += "statvtk_situations_open{kind=\"" + LabelValue(kind) + "\"} " + std::to_string(n) + "\n";
  return out;
}

}  // namespace statvtk::collect
