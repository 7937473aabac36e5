#include "collect/views/instrument_overview.hpp"

#include <map>

#include "base/utf8.hpp"
#include "collect/views/periods.hpp"

namespace statvtk::collect {

namespace {

// The runs of numbers missing between the first and the last of `held` (sorted).
template <class ToText>
void Gaps(Json& out, std::string_view archive, const std::vector<std::int64_t>& held, ToText text) {
  for (std::size_t i = 1; i < held.size(); ++i) {
    if (held[i] - held[i - 1] <= 1) continue;
    Json g;
    g["archive"] = archive;
    g["from"] = text(held[i - 1] + 1);
    g["to"] = text(held[i] - 1);
    g["missing"] = held[i] - held[i - 1] - 1;
    out.push_back(std::move(g));
  }
}

}  // namespace

Result<Json> InstrumentOverview(store::RecordStore& store, const std::string& serial, int days,
                                const std::string& untilPeriod) {
  const auto until = HourNumber(untilPeriod);
  if (!until) return MakeError(ErrorCode::BadData, "неверный час " + untilPeriod);
  const std::int64_t lastDay = *until / 24, firstDay = lastDay - days + 1;
  const std::string from = DayPeriod(firstDay), to = untilPeriod;

  auto hourly = store.Records({serial, ArchiveKind::Hourly, from, to, 0});
  if (!hourly) return hourly.error();
  auto daily = store.Records({serial, ArchiveKind::Daily, from, DayPeriod(lastDay), 0});
  if (!daily) return daily.error();

  std::map<std::int64_t, std::pair<double, int>> byDay;  // day -> (volume, hours)
  std::vector<std::int64_t> hours, dayNumbers;
  for (const auto& r : *hourly) {
    const auto h = HourNumber(r.period);
    if (!h) continue;
    hours.push_back(*h);
    auto& d = byDay[*h / 24];
    if (r.forwardIncrement) d.first += *r.forwardIncrement;
    ++d.second;
  }
  std::map<std::int64_t, double> dailyVolume;
  for (const auto& r : *daily) {
    const auto d = DayNumber(r.period);
    if (!d) continue;
    dayNumbers.push_back(*d);
    if (r.forwardIncrement) dailyVolume[*d] = *r.forwardIncrement;
  }

  Json j;
  j["serial"] = ValidUtf8(serial);
  Json list = Json::array();
  for (std::int64_t d = firstDay; d <= lastDay; ++d) {
    Json day;
    day["day"] = DayPeriod(d);
    const auto h = byDay.find(d);
    const auto dv = dailyVolume.find(d);
    if (h != byDay.end()) day["volume"] = h->second.first;
    else if (dv != dailyVolume.end()) day["volume"] = dv->second;
    else day["volume"] = nullptr;
    day["hours"] = h != byDay.end() ? h->second.second : 0;
    list.push_back(std::move(day));
  }
  j["days"] = std::move(list);
  Json gaps = Json::array();
  Gaps(gaps, "hourly", hours, [](std::int64_t n) { return HourPeriod(n); });
  Gaps(gaps, "daily", dayNumbers, [](std::int64_t n) { return DayPeriod(n); });
  j["gaps"] = std::move(gaps);
  j["newest"] = {{"hourly", hourly->empty() ? Json(nullptr) : Json(hourly->back().period)},
                 {"daily", daily->empty() ? Json(nullptr) : Json(daily->back().period)}};
  return j;
}

}  // namespace statvtk::collect
