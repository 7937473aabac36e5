#include "stats/volume_series.hpp"

#include <cstdio>

namespace statvtk {

namespace {

std::string TwoDigits(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%.2d", n % 100);
  return buf;
}

void Add(const StatRecord& rec, VolumeBar* bar) {
  ++bar->records;
  if (!rec.incrementKnown) {
    ++bar->unknown;
    return;
  }
  bar->forward += rec.forwardIncrement;
  bar->reverse += rec.reverseIncrement;
}

// Adds every valid record of `kind` whose stamp, masked by `mask`, equals `key`.
void AddPeriod(const StatModel& model, ArchiveKind kind, std::uint32_t key, std::uint32_t mask, VolumeBar* bar) {
  const std::size_t n = model.Index(kind).size();
  for (std::size_t i = 0; i < n; ++i) {
    if (!model.EntryValid(kind, i)) continue;
    const auto stamp = model.RecordStamp(kind, i);
    if (!stamp || (*stamp & mask) != key) continue;
    Add(model.Decode(kind, i), bar);
  }
}

VolumeSeries Hourly(const StatWindowModel& w) {
  VolumeSeries s;
  const auto sel = w.SelectedItems();
  if (sel.empty()) return s;
  const ListItem& day = w.Items()[sel.front()];
  s.title = "Объемы по часам " + day.text;
  s.bars.resize(24);
  for (int h = 0; h < 24; ++h) s.bars[h].label = TwoDigits(h);
  const StatModel& model = w.Model();
  const std::size_t n = model.Index(ArchiveKind::Hourly).size();
  for (std::size_t i = 0; i < n; ++i) {
    if (!model.EntryValid(ArchiveKind::Hourly, i)) continue;
    const auto stamp = model.RecordStamp(ArchiveKind::Hourly, i);
    if (!stamp || DayKeyOf(*stamp) != day.key) continue;
    const int hour = StampHour(*stamp);
    if (hour < 0 || hour > 23) continue;
    Add(model.Decode(ArchiveKind::Hourly, i), &s.bars[static_cast<std::size_t>(hour)]);
  }
  return s;
}

VolumeSeries Periods(const StatWindowModel& w) {
  VolumeSeries s;
  const bool months = w.Mode() == StatMode::Monthly;
  std::vector<std::size_t> chosen = w.SelectedItems();
  if (chosen.empty() && months)
    for (std::size_t i = 0; i < w.Items().size(); ++i) chosen.push_back(i);
  for (std::size_t i : chosen) {
    const ListItem& item = w.Items()[i];
    VolumeBar bar;
    // Days are labelled "DD.MM"; months keep their list text "MM.YY".
    bar.label = months ? item.text : item.text.substr(0, 5);
    AddPeriod(w.Model(), item.archive, item.key, months ? 0xFFFF0000u : 0xFFFFFF00u, &bar);
    s.bars.push_back(std::move(bar));
  }
  if (!s.bars.empty()) {
    const std::string& first = w.Items()[chosen.front()].text;
    const std::string& last = w.Items()[chosen.back()].text;
    s.title = std::string(months ? "Объемы по месяцам " : "Объемы по суткам ") + first +
              (first == last ? std::string() : " - " + last);
  }
  return s;
}

}  // namespace

VolumeSeries VolumeSeriesOf(const StatWindowModel& w) {
  if (!w.Model().HasValidRecord()) return {kNoValidRecordText, {}, 0, {}};
  VolumeSeries s = w.Mode() == StatMode::Hourly ? Hourly(w) : Periods(w);
  for (const VolumeBar& b : s.bars) s.unknown += b.unknown;
  if (s.unknown > 0) s.note = "Записей без приращения: " + std::to_string(s.unknown);
  return s;
}

}  // namespace statvtk
