#include "collect/http/fleet_pages.hpp"

#include <array>
#include <charconv>
#include <optional>

#include "collect/views/completeness_view.hpp"
#include "collect/views/fleet_page.hpp"

namespace statvtk::collect {

namespace {

constexpr std::size_t kMaxPage = 1000000;
constexpr std::size_t kMaxSearch = 100;

struct SortName {
  std::string_view name;
  FleetSort sort;
};
constexpr std::array kSorts{
    SortName{.name = "state", .sort = FleetSort::State}, SortName{.name = "name", .sort = FleetSort::Name},
    SortName{.name = "line", .sort = FleetSort::Line}, SortName{.name = "read", .sort = FleetSort::Read}};
constexpr std::array kHealths{Health::Ok, Health::Late, Health::Down, Health::Never, Health::Clock};

HttpAnswer Json200(const Json& j) { return {200, "application/json; charset=utf-8", JsonText(j) + "\n"}; }

HttpAnswer Failed(const Error& e) {
  if (store::StoreUnavailable(e)) return FleetApi::Refuse(503, "хранилище недоступно: " + e.reason);
  return FleetApi::Refuse(500, "ошибка хранилища: " + e.reason);
}

const std::string* Param(const QueryParams& q, std::string_view key) {
  for (const auto& [k, v] : q)
    if (k == key) return &v;
  return nullptr;
}

std::optional<std::string> Unknown(const QueryParams& q, std::initializer_list<std::string_view> known) {
  for (const auto& [k, v] : q)
    if (std::find(known.begin(), known.end(), k) == known.end()) return k.substr(0, 40);
  return std::nullopt;
}

// A whole number lo..hi; nullopt for anything else.
std::optional<std::size_t> Number(const std::string& text, std::size_t lo, std::size_t hi) {
  std::size_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return std::nullopt;
  return v;
}

std::optional<std::string> StatesOf(const std::string& text, std::vector<Health>& out) {
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find(',', at), text.size());
    const std::string_view name = std::string_view(text).substr(at, end - at);
    const auto h = std::find_if(kHealths.begin(), kHealths.end(), [&](Health x) { return HealthName(x) == name; });
    if (h == kHealths.end()) return "state: ok, late, down, never или clock (через запятую)";
    out.push_back(*h);
    at = end + 1;
  }
  return std::nullopt;
}

std::optional<std::string> DaysOf(const QueryParams& query, int& days) {
  days = kCompletenessDays;
  if (const std::string* d = Param(query, "days")) {
    const auto n = Number(*d, 1, kMaxCompletenessDays);
    if (!n) return "days: от 1 до " + std::to_string(kMaxCompletenessDays);
    days = static_cast<int>(*n);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> PageOf(const QueryParams& query, PageAsked& asked) {
  if (const std::string* p = Param(query, "page")) {
    const auto n = Number(*p, 1, kMaxPage);
    if (!n) return "page: номер страницы от 1";
    asked.page = *n;
  }
  asked.per = kRowsPerPage;
  if (const std::string* p = Param(query, "per")) {
    const auto n = Number(*p, 1, static_cast<std::size_t>(-1) / 2);
    if (!n) return "per: строк на странице от 1 до " + std::to_string(kMaxRowsPerPage);
    asked.per = std::min(*n, kMaxRowsPerPage);
  }
  return std::nullopt;
}

std::optional<std::string> SearchOf(const QueryParams& query, std::string& text) {
  if (const std::string* q = Param(query, "q")) {
    if (q->size() > kMaxSearch) return "q: не длиннее " + std::to_string(kMaxSearch) + " байт";
    text = Folded(*q);
  }
  return std::nullopt;
}

HttpAnswer InstrumentsPage(store::RecordStore& db, const FleetLive& live, const QueryParams& query) {
  if (auto bad = Unknown(query, {"page", "per", "state", "line", "q", "sort"}))
    return FleetApi::Refuse(400, "неизвестный параметр: " + *bad);
  PageAsked asked;
  FleetFilter filter;
  FleetSort sort = FleetSort::State;
  if (auto why = PageOf(query, asked)) return FleetApi::Refuse(400, *why);
  if (const std::string* s = Param(query, "state"); s && !s->empty())
    if (auto why = StatesOf(*s, filter.states)) return FleetApi::Refuse(400, *why);
  if (const std::string* l = Param(query, "line")) filter.line = *l;
  if (auto why = SearchOf(query, filter.text)) return FleetApi::Refuse(400, *why);
  if (const std::string* s = Param(query, "sort")) {
    const auto it = std::find_if(kSorts.begin(), kSorts.end(), [&](const SortName& n) { return n.name == *s; });
    if (it == kSorts.end()) return FleetApi::Refuse(400, "sort: state, name, line или read");
    sort = it->sort;
  }
  auto fleet = FleetView(db, live);
  if (!fleet) return Failed(fleet.error());
  return Json200(FleetPageJson(std::move(*fleet), filter, sort, asked));
}

HttpAnswer CompletenessPage(store::RecordStore& db, const std::string& untilPeriod, const QueryParams& query) {
  if (auto bad = Unknown(query, {"days", "page", "per", "q"}))
    return FleetApi::Refuse(400, "неизвестный параметр: " + *bad);
  PageAsked asked;
  int days = kCompletenessDays;
  std::string text;
  if (auto why = PageOf(query, asked)) return FleetApi::Refuse(400, *why);
  if (auto why = DaysOf(query, days)) return FleetApi::Refuse(400, *why);
  if (auto why = SearchOf(query, text)) return FleetApi::Refuse(400, *why);
  auto j = CompletenessJson(db, untilPeriod, days, text, asked);
  if (!j) return Failed(j.error());
  return Json200(*j);
}

HttpAnswer ReadRates(store::RecordStore& db, std::chrono::system_clock::time_point now, const QueryParams& query) {
  if (auto bad = Unknown(query, {"days"})) return FleetApi::Refuse(400, "неизвестный параметр: " + *bad);
  int days = kCompletenessDays;
  if (auto why = DaysOf(query, days)) return FleetApi::Refuse(400, *why);
  auto j = ReadRatesJson(db, now, days);
  if (!j) return Failed(j.error());
  return Json200(*j);
}

}  // namespace statvtk::collect
