// The values table against the simulator's history: a power cut of several
// hours is that many "нет данных" rows between rows that hold the records'
// totals, for every model; the clipboard text has a line per row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "sim/expected_dump.hpp"
#include "sim/history.hpp"
#include "sim/memories.hpp"
#include "stats/values_table.hpp"

namespace {

using namespace statvtk;

class ValuesTableOfHistory : public ::testing::TestWithParam<DeviceType> {};

TEST_P(ValuesTableOfHistory, PowerCutHoursAreRowsWithoutData) {
  const auto now = static_cast<std::uint32_t>(CivilToDeviceTime(2024, 6, 14, 15, 42, 10));
  const sim::History h = sim::GenerateHistory(GetParam(), 777, now);
  const std::shared_ptr<const StatModel> model = MakeStatModel(sim::ExpectedDump(GetParam(), sim::BuildMemories(h)));
  ASSERT_TRUE(model);
  // The longest run of hours without a record inside the hourly archive.
  std::vector<const sim::ArchiveRecord*> recs;
  for (const auto& r : h.hourly)
    if (!r.invalid) recs.push_back(&r);
  std::sort(recs.begin(), recs.end(), [](auto* a, auto* b) { return a->periodStart < b->periodStart; });
  std::size_t at = 0;
  std::uint32_t gap = 0;
  for (std::size_t i = 1; i < recs.size(); ++i)
    if (recs[i]->periodStart - recs[i - 1]->periodStart > gap)
      gap = recs[i]->periodStart - recs[i - 1]->periodStart, at = i;
  ASSERT_EQ(gap, 4u * 3600);  // the three-hour outage
  const CivilTime before = recs[at - 1]->start;
  ASSERT_LE(before.hour, 19);  // the cut lies within one day
  StatWindowModel w(model, CalendarDate{before.year, before.month, before.day});
  w.SetMode(StatMode::Hourly);
  ASSERT_EQ(w.SelectedItems().size(), 1u);
  const ValuesTable t = ValuesTableOf(w);
  ASSERT_EQ(t.rows.size(), 24u);
  EXPECT_EQ(t.headings.front(), "Период");
  EXPECT_EQ(t.headings.back(), "Состояние");
  for (int hour = 0; hour < 24; ++hour) {
    const ValuesRow& row = t.rows[static_cast<std::size_t>(hour)];
    char label[8];
    std::snprintf(label, sizeof label, "%.2d:00", hour);
    EXPECT_EQ(row.period, label);
    ASSERT_EQ(row.fields.size() + 1, t.headings.size());
    const bool cut = hour > before.hour && hour <= before.hour + 3;
    EXPECT_EQ(row.missing, cut) << label;
    EXPECT_EQ(row.fields.back() == kNoDataText, cut) << label;
  }
  // The hour before the cut shows its record's V+ total.
  char total[32];
  std::snprintf(total, sizeof total, "%.3f", static_cast<double>(recs[at - 1]->totals.vPlus) / 1e6);
  EXPECT_EQ(t.rows[static_cast<std::size_t>(before.hour)].fields.front(), total);
  const std::string text = TabSeparated(t);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 25);
  EXPECT_EQ(text.substr(0, text.find('\n')).find("Период\tV+, м3"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Models, ValuesTableOfHistory,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtLDN08),
                         [](const auto& info) {
                           return info.param == DeviceType::dtVTK0812 ? std::string("VTK0812")
                                  : info.param == DeviceType::dtLDN08 ? std::string("LDN08")
                                                                      : std::string("VTK0814C");
                         });

}  // namespace
