#include "stats/values_table.hpp"

#include <algorithm>
#include <cmath>

#include "base/device_values.hpp"
#include "stats/stat_common.hpp"

namespace statvtk {

namespace {

constexpr const char* kCounterHeadings[4] = {"ΔTраб, ч", "ΔTош, ч", "ΔT<Gmin, ч", "ΔT>Gmax, ч"};
constexpr std::uint32_t kDayMask = 0xFFFFFF00u, kMonthMask = 0xFFFF0000u;

// What a row shows of a value: temperatures and voltages in hundredths,
// volumes, masses and flows to the litre (kilogram).
std::string Number(const std::string& name, double v) {
  if (!std::isfinite(v)) return "—";
  const bool fine = name.find("°C") != std::string::npos || name.find(", В") != std::string::npos;
  return detail::Format(fine ? "%.2f" : "%.3f", v);
}

struct Columns {
  std::vector<std::string> names;  // the model's value names (the "no T" 08.14: mean flow for T)
  bool meanFlowForT = false;
};

Columns ColumnsOf(const StatModel& model, ArchiveKind kind) {
  Columns c;
  const std::size_t n = model.Index(kind).size();
  for (std::size_t i = 0; i < n; ++i) {
    if (!model.EntryValid(kind, i)) continue;
    for (const NamedValue& v : model.Decode(kind, i).values) c.names.push_back(v.name);
    break;
  }
  const bool is0814 = model.Type() == DeviceType::dtVTK0814C || model.Type() == DeviceType::dtVTK0814CM;
  if (is0814 && model.GetDeviceInfo().optionNoT && !c.names.empty() && c.names.back() == "T, °C") {
    c.names.back() = "Gср, м3/ч";
    c.meanFlowForT = true;
  }
  return c;
}

// The valid records of `kind` whose stamp, masked, is `key`, in time order.
std::vector<StatRecord> RecordsOf(const StatModel& model, ArchiveKind kind, std::uint32_t key, std::uint32_t mask) {
  std::vector<StatRecord> out;
  const std::size_t n = model.Index(kind).size();
  for (std::size_t i = 0; i < n; ++i) {
    if (!model.EntryValid(kind, i)) continue;
    const auto stamp = model.RecordStamp(kind, i);
    if (stamp && (*stamp & mask) == key) out.push_back(model.Decode(kind, i));
  }
  return out;
}

std::string StatusOf(const std::vector<StatRecord>& recs) {
  std::vector<std::string> words;
  for (const StatRecord& r : recs) {
    std::size_t at = 0;
    while (at < r.statusText.size()) {
      const std::size_t end = std::min(r.statusText.find(' ', at), r.statusText.size());
      const std::string w = r.statusText.substr(at, end - at);
      if (!w.empty() && w != "Норма" && std::find(words.begin(), words.end(), w) == words.end()) words.push_back(w);
      at = end + 1;
    }
  }
  if (words.empty()) return "Норма";
  std::string s;
  for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
  return s;
}

// One row of a period's records: the last record's totals and values, the
// sum of the known increments (empty when none is known).
ValuesRow RowOf(std::string period, const std::vector<StatRecord>& recs, const Columns& cols) {
  ValuesRow row{std::move(period), {}, recs.empty()};
  if (recs.empty()) {
    row.fields.assign(cols.names.size() + 5, std::string());
    row.fields.back() = kNoDataText;
    return row;
  }
  const StatRecord& last = recs.back();
  for (std::size_t k = 0; k < cols.names.size() && k < last.values.size(); ++k) {
    if (!last.values[k].increment) {
      const bool meanFlow = cols.meanFlowForT && k + 1 == cols.names.size();
      row.fields.push_back(Number(cols.names[k], meanFlow ? last.extraValue : last.values[k].value));
      continue;
    }
    double sum = 0;
    bool known = false;
    for (const StatRecord& r : recs)
      if (r.incrementKnown && k < r.values.size()) sum += r.values[k].value, known = true;
    row.fields.push_back(known ? Number(cols.names[k], sum) : std::string());
  }
  row.fields.resize(cols.names.size());
  for (std::size_t c = 0; c < 4; ++c) {
    double sum = 0;
    bool known = false;
    for (const StatRecord& r : recs)
      if (r.incrementKnown) sum += static_cast<double>(r.counterIncrements[c]) / r.counterDivisor, known = true;
    row.fields.push_back(known ? detail::Format("%.2f", sum) : std::string());
  }
  row.fields.push_back(StatusOf(recs));
  return row;
}

std::string PeriodText(std::uint32_t key, bool months) {
  return months ? detail::Format("%.2X.%.2X", (key >> 16) & 0xFFu, (key >> 24) & 0xFFu)
                : detail::Format("%.2X.%.2X.%.2X", (key >> 8) & 0xFFu, (key >> 16) & 0xFFu, (key >> 24) & 0xFFu);
}

void HourlyRows(const StatWindowModel& w, const Columns& cols, ValuesTable& t) {
  const auto sel = w.SelectedItems();
  if (sel.empty()) return;
  const StatModel& model = w.Model();
  const std::uint32_t day = w.Items()[sel.front()].key;
  const std::uint32_t clock = model.DeviceClockStamp();
  const std::vector<StatRecord> ofDay = RecordsOf(model, ArchiveKind::Hourly, day, kDayMask);
  for (int h = 0; h < 24; ++h) {
    const std::uint32_t stamp = day | IntToBcd(h);
    std::vector<StatRecord> recs;
    for (const StatRecord& r : ofDay)
      if (StampHour(r.stamp) == h) recs.push_back(r);
    // Hours after the instrument's clock have not closed yet: not missing.
    if (recs.empty() && stamp >= clock) continue;
    t.rows.push_back(RowOf(detail::Format("%.2d:00", h), recs, cols));
  }
}

void PeriodRows(const StatWindowModel& w, const Columns& cols, ValuesTable& t) {
  const bool months = w.Mode() == StatMode::Monthly;
  std::vector<std::size_t> chosen = w.SelectedItems();
  if (chosen.empty() && months)
    for (std::size_t i = 0; i < w.Items().size(); ++i) chosen.push_back(i);
  std::vector<std::uint32_t> listed;
  for (const ListItem& item : w.Items()) listed.push_back(item.key);
  const auto isListed = [&listed](std::uint32_t key) {
    return std::find(listed.begin(), listed.end(), key) != listed.end();
  };
  const auto next = [months](const CalendarDate& d) {
    if (!months) return AddDays(d, 1);
    return d.month == 12 ? CalendarDate{d.year + 1, 1, 1} : CalendarDate{d.year, d.month + 1, 1};
  };
  const auto keyOf = [months](const CalendarDate& d) { return months ? MonthKeyOf(DayKeyOfDate(d)) : DayKeyOfDate(d); };
  bool first = true;
  CalendarDate previous;
  for (const std::size_t i : chosen) {
    const ListItem& item = w.Items()[i];
    CalendarDate at = DateOfKey(item.key);
    if (months) at.day = 1;
    // The periods between two shown ones that hold no record at all (at most a year of them).
    if (!first)
      for (CalendarDate d = next(previous); DayNumber(d) < DayNumber(at) && t.rows.size() < 4000; d = next(d))
        if (!isListed(keyOf(d))) t.rows.push_back(RowOf(PeriodText(keyOf(d), months), {}, cols));
    first = false;
    previous = at;
    t.rows.push_back(
        RowOf(item.text, RecordsOf(w.Model(), item.archive, item.key, months ? kMonthMask : kDayMask), cols));
  }
}

}  // namespace

ValuesTable ValuesTableOf(const StatWindowModel& w) {
  ValuesTable t;
  const StatModel& model = w.Model();
  const ArchiveKind kind = w.Mode() == StatMode::Hourly ? ArchiveKind::Hourly
                           : w.Mode() == StatMode::Daily || !model.HasArchive(ArchiveKind::Monthly)
                               ? ArchiveKind::Daily
                               : ArchiveKind::Monthly;
  const Columns cols = ColumnsOf(model, kind);
  t.headings.push_back("Период");
  t.headings.insert(t.headings.end(), cols.names.begin(), cols.names.end());
  t.headings.insert(t.headings.end(), std::begin(kCounterHeadings), std::end(kCounterHeadings));
  t.headings.push_back("Состояние");
  if (w.Mode() == StatMode::Hourly) HourlyRows(w, cols, t);
  else PeriodRows(w, cols, t);
  return t;
}

std::string TabSeparated(const ValuesTable& table) {
  std::string out;
  const auto line = [&out](const std::string& first, const std::vector<std::string>& rest) {
    out += first;
    for (const std::string& f : rest) out += "\t" + f;
    out += "\n";
  };
  line(table.headings.empty() ? std::string() : table.headings.front(),
       table.headings.empty() ? std::vector<std::string>{}
                              : std::vector<std::string>(table.headings.begin() + 1, table.headings.end()));
  for (const ValuesRow& r : table.rows) line(r.period, r.fields);
  return out;
}

}  // namespace statvtk
