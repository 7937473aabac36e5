#include "collect/views/completeness_view.hpp"

#include <algorithm>
#include <map>

#include "base/utf8.hpp"
#include "collect/views/periods.hpp"

namespace statvtk::collect {

namespace {

struct Counts {
  std::vector<std::int64_t> reads, done;
};

Json CountsJson(const std::map<std::string, Counts>& by, const char* key) {
  Json list = Json::array();
  for (const auto& [name, c] : by) list.push_back({{key, ValidUtf8(name)}, {"reads", c.reads}, {"done", c.done}});
  return list;
}

// The page's meters of the store's instruments: filtered, in order, cut.
std::vector<store::InstrumentRow> MetersOf(std::vector<store::InstrumentRow> all, const std::string& text,
                                           PageAsked asked, std::size_t& total) {
  std::erase_if(all, [&](const store::InstrumentRow& in) {
    if (text.empty()) return false;
    for (const std::string* t : {&in.name, &in.serial, &in.line})
      if (Folded(*t).find(text) != std::string::npos) return false;
    return true;
  });
  total = all.size();
  const std::size_t from = std::min(all.size(), (asked.page - 1) * asked.per);
  const std::size_t to = std::min(all.size(), from + asked.per);
  std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(to), all.end(),
                    [](const auto& a, const auto& b) {
                      if (const int c = NaturalCompare(a.line, b.line)) return c < 0;
                      if (const int c = NaturalCompare(a.name, b.name)) return c < 0;
                      return a.serial < b.serial;
                    });
  return {all.begin() + static_cast<std::ptrdiff_t>(from), all.begin() + static_cast<std::ptrdiff_t>(to)};
}

}  // namespace

Result<Json> CompletenessJson(store::RecordStore& db, const std::string& untilPeriod, int days, const std::string& text,
                              PageAsked asked) {
  const auto until = HourNumber(untilPeriod);
  if (!until) return MakeError(ErrorCode::BadData, "неверный час " + untilPeriod);
  const std::int64_t lastDay = *until / 24, firstDay = lastDay - days + 1;
  auto all = db.Instruments();
  if (!all) return all.error();
  std::size_t total = 0;
  const auto meters = MetersOf(std::move(*all), text, asked, total);
  std::vector<std::string> serials;
  for (const auto& m : meters) serials.push_back(m.serial);
  // The hours closed: those before the hour now.
  auto counts = db.HourlyByDay(serials, DayPeriod(firstDay), HourPeriod(*until - 1));
  if (!counts) return counts.error();
  std::map<std::string, std::map<std::int64_t, std::int64_t>> held;  // serial -> day -> hours
  std::map<std::string, std::string> oldest;
  for (const auto& c : *counts) {
    if (c.hours < 0) oldest[c.serial] = c.day;
    else if (const auto d = DayNumber(c.day)) held[c.serial][*d] = c.hours;
  }
  Json j;
  j["days"] = Json::array();
  j["hours_due"] = Json::array();
  for (std::int64_t d = firstDay; d <= lastDay; ++d) {
    j["days"].push_back(DayPeriod(d));
    j["hours_due"].push_back(d == lastDay ? *until % 24 : 24);
  }
  Json rows = Json::array();
  for (const auto& m : meters) {
    const auto first = oldest.find(m.serial);
    const auto firstDayHeld = first != oldest.end() ? DayNumber(first->second) : std::nullopt;
    const auto& byDay = held[m.serial];
    Json hours = Json::array();
    for (std::int64_t d = firstDay; d <= lastDay; ++d) {
      const auto h = byDay.find(d);
      if (!firstDayHeld || d < *firstDayHeld) hours.push_back(nullptr);
      else hours.push_back(h != byDay.end() ? h->second : 0);
    }
    rows.push_back({{"serial", ValidUtf8(m.serial)},
                    {"name", m.name},
                    {"line", m.line},
                    {"model", m.model},
                    {"first", first != oldest.end() ? Json(first->second) : Json(nullptr)},
                    {"hours", std::move(hours)}});
  }
  j["page"] = asked.page;
  j["per"] = asked.per;
  j["total"] = total;
  j["pages"] = (total + asked.per - 1) / asked.per;
  j["rows"] = std::move(rows);
  return j;
}

Result<Json> ReadRatesJson(store::RecordStore& db, std::chrono::system_clock::time_point now, int days) {
  const auto today = DayNumber(UtcText(now));
  if (!today) return MakeError(ErrorCode::BadData, "неверное время");
  const std::int64_t firstDay = *today - days + 1;
  auto rows = db.ReadsByDay(DayPeriod(firstDay) + "T00:00:00Z");
  if (!rows) return rows.error();
  std::map<std::string, Counts> lines, pools;
  const Counts empty{std::vector<std::int64_t>(static_cast<std::size_t>(days)),
                     std::vector<std::int64_t>(static_cast<std::size_t>(days))};
  for (const auto& r : *rows) {
    const auto d = DayNumber(r.day);
    if (!d || *d < firstDay || *d > *today) continue;
    auto& by = r.pool ? pools : lines;
    auto [it, added] = by.try_emplace(r.group, empty);
    it->second.reads[static_cast<std::size_t>(*d - firstDay)] += r.reads;
    it->second.done[static_cast<std::size_t>(*d - firstDay)] += r.done;
  }
  Json j;
  j["days"] = Json::array();
  for (std::int64_t d = firstDay; d <= *today; ++d) j["days"].push_back(DayPeriod(d));
  j["lines"] = CountsJson(lines, "line");
  j["pools"] = CountsJson(pools, "pool");
  return j;
}

}  // namespace statvtk::collect
