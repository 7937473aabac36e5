#include "collect/http/situations.hpp"

#include <map>
#include <optional>

#include "analysis/situations.hpp"
#include "base/json_text.hpp"
#include "base/utf8.hpp"
#include "collect/http/fleet_pages.hpp"
#include "collect/http/metrics.hpp"
#include "collect/views/json_shapes.hpp"
#include "front/situation_texts.hpp"

namespace statvtk::collect {

namespace {

Json OrNull(const std::string& s) { return s.empty() ? Json(nullptr) : Json(ValidUtf8(s)); }

Json SituationJson(const store::SituationRow& s, const std::string& name) {
  Json j = collect::SituationJson(s);
  j["serial"] = ValidUtf8(s.serial);
  j["name"] = OrNull(name);
  return j;
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

HttpAnswer Json200(const Json& j) { return {200, "application/json; charset=utf-8", JsonText(j) + "\n"}; }

// What the request asks for.
struct Asked {
  store::SituationQuery query;
  std::string text;  // q=, folded
  bool paged = false;
  PageAsked page;
};

// The parameters into `asked`; the reason when one is wrong.
std::optional<std::string> AskedOf(const QueryParams& query, Asked& asked) {
  store::SituationQuery& q = asked.query;
  for (const auto& [key, value] : query) {
    if (key == "open" && (value == "0" || value == "1")) q.openOnly = value == "1";
    else if (key == "kind" && (value.empty() || analysis::SituationKindOfName(value))) q.kind = value;
    else if (key == "since" && (value.empty() || PeriodLike(value))) q.since = value;
    else if (key == "serial") q.serial = value;
    else if (key == "page" || key == "per") asked.paged = true;
    else if (key == "open") return "open: 0 или 1";
    else if (key == "kind") return "kind: вид ситуации (night_flow, flag, ...)";
    else if (key == "since") return "since: дата ГГГГ-ММ-ДД или час ГГГГ-ММ-ДД ЧЧ:00";
    else if (key != "q") return "неизвестный параметр: " + key.substr(0, 40);
  }
  if (auto why = PageOf(query, asked.page)) return why;
  if (auto why = SearchOf(query, asked.text)) return why;
  q.openFirst = true;
  q.limit = static_cast<std::int64_t>(asked.paged ? asked.page.per : kMaxSituationList);
  q.offset = asked.paged ? static_cast<std::int64_t>((asked.page.page - 1) * asked.page.per) : 0;
  return std::nullopt;
}

// The serials whose instrument's name, serial or line holds `text`.
std::vector<std::string> SerialsMatching(const std::vector<store::InstrumentRow>& instruments,
                                         const std::string& text) {
  std::vector<std::string> out;
  for (const auto& in : instruments)
    for (const std::string* t : {&in.name, &in.serial, &in.line})
      if (Folded(*t).find(text) != std::string::npos) {
        out.push_back(in.serial);
        break;
      }
  return out;
}

// The kinds the analysis knows, in its words ("флаги" for the flags, whose
// rows are named by the model's word).
Json KindsJson() {
  Json kinds = Json::array();
  for (const auto k : analysis::kSituationKinds) {
    const std::string name(analysis::SituationKindName(k));
    const std::string text = k == analysis::SituationKind::Flag
                                 ? std::string(SituationSourceText(analysis::SituationSource::Flags))
                                 : SituationText(name, "");
    kinds.push_back({{"kind", name}, {"text", text}});
  }
  return kinds;
}

Result<Json> PageJson(store::RecordStore& db, const Asked& asked, Json rows, const std::string& nowPeriod) {
  auto total = db.CountSituations(asked.query);
  if (!total) return total.error();
  auto open = db.CountSituations(store::OpenSituations());
  if (!open) return open.error();
  const auto per = static_cast<std::int64_t>(asked.page.per);
  return Json{{"page", asked.page.page}, {"per", asked.page.per},  {"pages", (*total + per - 1) / per},
              {"total", *total},         {"open", *open},          {"now", nowPeriod},
              {"kinds", KindsJson()},    {"rows", std::move(rows)}};
}

}  // namespace

HttpAnswer SituationsAnswer(store::RecordStore& db, const QueryParams& query, const std::string& nowPeriod) {
  Asked asked;
  if (auto why = AskedOf(query, asked)) return FleetApi::Refuse(400, *why);
  auto instruments = db.Instruments();
  if (!instruments) return Failed(instruments.error());
  if (!asked.text.empty()) {
    asked.query.anyOfSerials = true;
    asked.query.serials = SerialsMatching(*instruments, asked.text);
    if (asked.query.serials.size() > store::kMaxSituationSerials)
      return FleetApi::Refuse(400, "q: под поиск подходит слишком много приборов, уточните его");
  }
  auto rows = db.Situations(asked.query);
  if (!rows) return Failed(rows.error());
  std::map<std::string, std::string> names;
  for (const auto& i : *instruments) names[i.serial] = i.name;
  Json list = Json::array();
  for (const auto& s : *rows) list.push_back(SituationJson(s, names[s.serial]));
  if (!asked.paged) return Json200(list);
  auto page = PageJson(db, asked, std::move(list), nowPeriod);
  if (!page) return Failed(page.error());
  return Json200(*page);
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
