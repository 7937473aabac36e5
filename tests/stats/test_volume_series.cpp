// The chart's volumes agree with the simulator's history: each period's V+ and
// V- bar is the total at the period's last valid record minus the total at the
// last valid record before it, for every model and mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <memory>

#include "sim/expected_dump.hpp"
#include "sim/history.hpp"
#include "sim/memories.hpp"
#include "stats/volume_series.hpp"

namespace {

using namespace statvtk;

using PeriodOf = std::function<std::int64_t(const CivilTime&)>;

std::int64_t DayOf(const CivilTime& c) { return CivilToDeviceTime(c.year, c.month, c.day); }
std::int64_t MonthOf(const CivilTime& c) { return CivilToDeviceTime(c.year, c.month, 1); }
std::int64_t HourOf(const CivilTime& c) { return CivilToDeviceTime(c.year, c.month, c.day, c.hour); }

// Valid records in the order they were written within time order.
std::vector<const sim::ArchiveRecord*> Valid(const std::vector<sim::ArchiveRecord>& recs) {
  std::vector<const sim::ArchiveRecord*> out;
  for (const auto& r : recs)
    if (!r.invalid) out.push_back(&r);
  std::stable_sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->periodStart < b->periodStart; });
  return out;
}

struct Expected {
  double forward = 0, reverse = 0;
  int records = 0;
  int unknown = 0;
};

// Totals at the end of the period minus totals before it. The oldest record
// of the file has no record before it: its period starts from its own totals
// (it adds no increment) and counts it as a record without increment.
Expected ExpectedOf(const std::vector<const sim::ArchiveRecord*>& valid, const PeriodOf& period, std::int64_t p) {
  const sim::Totals* before = nullptr;
  const sim::Totals* last = nullptr;
  Expected e;
  for (const auto* r : valid) {
    const std::int64_t q = period(r->start);
    if (q < p) before = &r->totals;
    if (q == p) {
      if (r == valid.front()) {
        before = &r->totals;
        ++e.unknown;
      }
      last = &r->totals;
      ++e.records;
    }
  }
  if (!last) return e;
  e.forward = (static_cast<double>(last->vPlus) - static_cast<double>(before->vPlus)) / 1e6;
  e.reverse = (static_cast<double>(last->vMinus) - static_cast<double>(before->vMinus)) / 1e6;
  return e;
}

void ExpectBar(const VolumeBar& bar, const Expected& e, const std::string& what) {
  EXPECT_EQ(bar.records, e.records) << what;
  EXPECT_EQ(bar.unknown, e.unknown) << what;
  EXPECT_EQ(bar.HasValue(), e.records > e.unknown) << what;
  EXPECT_NEAR(bar.forward, e.forward, 1e-6 * (1 + std::fabs(e.forward))) << what;
  EXPECT_NEAR(bar.reverse, e.reverse, 1e-6 * (1 + std::fabs(e.reverse))) << what;
}

class VolumeChart : public ::testing::TestWithParam<DeviceType> {
 protected:
  void SetUp() override {
    now_ = static_cast<std::uint32_t>(CivilToDeviceTime(2024, 6, 14, 15, 42, 10));
    history_ = sim::GenerateHistory(GetParam(), 777, now_);
    model_ = MakeStatModel(sim::ExpectedDump(GetParam(), sim::BuildMemories(history_)));
    ASSERT_TRUE(model_);
  }
  std::uint32_t now_ = 0;
  sim::History history_;
  std::shared_ptr<const StatModel> model_;
};

TEST_P(VolumeChart, HourlyBarsOfTheChosenDay) {
  const auto valid = Valid(history_.hourly);
  ASSERT_FALSE(valid.empty());
  // A full day in the middle of the archive and the newest, partly elapsed day.
  for (const auto* pick : {valid[valid.size() / 2], valid.back()}) {
    const CivilTime day = pick->start;
    StatWindowModel w(model_, CalendarDate{day.year, day.month, day.day});
    w.SetMode(StatMode::Hourly);
    w.DatesChanged();  // selects the begin date's line
    ASSERT_EQ(w.SelectedItems().size(), 1u);
    const VolumeSeries s = VolumeSeriesOf(w);
    ASSERT_EQ(s.bars.size(), 24u);
    EXPECT_NE(s.title.find(w.Items()[w.SelectedItems().front()].text), std::string::npos);
    for (int h = 0; h < 24; ++h) {
      EXPECT_EQ(s.bars[h].label, (h < 10 ? "0" : "") + std::to_string(h));
      const CivilTime at{day.year, day.month, day.day, h, 0, 0};
      ExpectBar(s.bars[h], ExpectedOf(valid, HourOf, HourOf(at)), "hour " + std::to_string(h));
    }
  }
}

TEST_P(VolumeChart, DailyBarsOfTheChosenRange) {
  const auto valid = Valid(history_.daily);
  ASSERT_GE(valid.size(), 10u);
  const CivilTime from = valid[valid.size() - 10]->start;
  StatWindowModel w(model_, CalendarDate{from.year, from.month, from.day});
  w.SetEndDate(AddDays(w.BeginDate(), 6));
  w.DatesChanged();
  const auto sel = w.SelectedItems();
  ASSERT_FALSE(sel.empty());
  const VolumeSeries s = VolumeSeriesOf(w);
  ASSERT_EQ(s.bars.size(), sel.size());
  for (std::size_t k = 0; k < sel.size(); ++k) {
    const CalendarDate d = DateOfKey(w.Items()[sel[k]].key);
    EXPECT_EQ(s.bars[k].label, w.Items()[sel[k]].text.substr(0, 5));
    ExpectBar(s.bars[k], ExpectedOf(valid, DayOf, DayOf(CivilTime{d.year, d.month, d.day, 0, 0, 0})),
              w.Items()[sel[k]].text);
  }
}

TEST_P(VolumeChart, MonthlyBarsOfEveryListedMonth) {
  StatWindowModel w(model_, CalendarDate{2024, 6, 14});
  w.SetMode(StatMode::Monthly);
  ASSERT_FALSE(w.Items().empty());
  const VolumeSeries s = VolumeSeriesOf(w);  // nothing selected: every month
  ASSERT_EQ(s.bars.size(), w.Items().size());
  // VTK-08.12 keeps no monthly archive: its months add up the daily records.
  const bool fromDaily = !model_->HasArchive(ArchiveKind::Monthly);
  const auto valid = Valid(fromDaily ? history_.daily : history_.monthly);
  for (std::size_t k = 0; k < s.bars.size(); ++k) {
    const std::uint32_t key = w.Items()[k].key;
    const CivilTime m{StampYear(key), StampMonth(key), 1, 0, 0, 0};
    EXPECT_EQ(s.bars[k].label, w.Items()[k].text);
    ExpectBar(s.bars[k], ExpectedOf(valid, MonthOf, MonthOf(m)), w.Items()[k].text);
  }
  // Every month listed: the oldest record is among them, and the series says so.
  EXPECT_EQ(s.unknown, 1);
  EXPECT_EQ(s.note, "Записей без приращения: 1");
}

TEST_P(VolumeChart, ImageWithoutAValidRecordSaysSo) {
  StatData blank = StatData::Blank(GetParam());
  blank.header = model_->Data().header;  // a header as read, no archive record
  StatWindowModel w(MakeStatModel(blank), CalendarDate{2024, 6, 14});
  w.SetMode(StatMode::Monthly);
  const VolumeSeries s = VolumeSeriesOf(w);
  EXPECT_TRUE(s.bars.empty());
  EXPECT_EQ(s.title, "В файле нет ни одной верной записи");
}

TEST_P(VolumeChart, NoSelectionInHourlyOrDailyModeGivesNoBars) {
  StatWindowModel w(model_, CalendarDate{1999, 1, 1});
  w.ClearSelection();
  EXPECT_TRUE(VolumeSeriesOf(w).bars.empty());
  w.SetMode(StatMode::Hourly);
  w.ClearSelection();
  EXPECT_TRUE(VolumeSeriesOf(w).bars.empty());
}

INSTANTIATE_TEST_SUITE_P(Models, VolumeChart,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08),
                         [](const auto& info) {
                           std::string n(DeviceTypeName(info.param));
                           std::replace_if(
                               n.begin(), n.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
                               '_');
                           return n;
                         });

}  // namespace
