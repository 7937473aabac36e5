// The hourly report's cells from a simulated instrument's memory image, for
// each model: present hours, checksums, elapsed-hour markers and totals agree
// with the simulator's own history.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "reports/hour_report.hpp"
#include "reports/report_source.hpp"
#include "sim/expected_dump.hpp"
#include "sim/history.hpp"
#include "sim/memories.hpp"
#include "stats/stat_model.hpp"
#include "stats/stat_window.hpp"

namespace {

using namespace statvtk;

std::string DayText(const CivilTime& c) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2d.%.2d.%.2d", c.day, c.month, c.year % 100);
  return buf;
}

class SimReport : public ::testing::TestWithParam<DeviceType> {};

TEST_P(SimReport, HourBlockAgreesWithHistory) {
  const DeviceType type = GetParam();
  const std::uint32_t now = static_cast<std::uint32_t>(CivilToDeviceTime(2024, 6, 14, 15, 42, 10));
  const sim::History h = sim::GenerateHistory(type, 4242, now);
  const StatData data = sim::ExpectedDump(type, sim::BuildMemories(h));
  std::shared_ptr<const StatModel> model = MakeStatModel(data);
  ASSERT_TRUE(model);
  EXPECT_EQ(model->DeviceClockStamp(), DeviceTimeToBcdHour(now));

  // The day of the newest valid hourly record: a partly elapsed day.
  const sim::ArchiveRecord* newest = nullptr;
  for (const auto& r : h.hourly)
    if (!r.invalid && (!newest || r.periodStart > newest->periodStart)) newest = &r;
  ASSERT_TRUE(newest);
  const CivilTime day = newest->start;
  const std::string dayText = DayText(day);

  std::map<int, int> records, valid;  // hour -> number of records, of valid records
  std::map<int, const sim::ArchiveRecord*> only;
  for (const auto& r : h.hourly) {
    if (r.start.year != day.year || r.start.month != day.month || r.start.day != day.day) continue;
    ++records[r.start.hour];
    if (!r.invalid) ++valid[r.start.hour];
    only[r.start.hour] = &r;
  }

  StatWindowModel window(model, CalendarDate{day.year, day.month, day.day});
  window.SetMode(StatMode::Hourly);
  for (std::size_t i = 0; i < window.Items().size(); ++i)
    if (window.Items()[i].text == dayText) window.SelectItem(i);
  const ReportPlan plan = window.PrepareReport();
  ASSERT_EQ(plan.kind, ReportKind::Hourly);
  const CellBlock b = BuildHourBlock(HourInputOf(*model, plan));

  int first = 25, last = 0;
  for (const auto& [hour, n] : valid) {
    first = std::min(first, hour + 1);
    last = std::max(last, hour + 1);
  }
  char b8[32], b9[32];
  std::snprintf(b8, sizeof b8, "str:%.2d:00", first - 1);
  std::snprintf(b9, sizeof b9, "str:%.2d:00", last);
  EXPECT_EQ(DescribeCell(b.At("B8")), b8);
  EXPECT_EQ(DescribeCell(b.At("B9")), b9);
  EXPECT_EQ(DescribeCell(b.At("A11")), "int:" + std::to_string(24 - static_cast<int>(records.size())));
  EXPECT_EQ(DescribeCell(b.At("A8")), "str:" + dayText);
  EXPECT_EQ(DescribeCell(b.At("B2")), "str:" + model->SerialText());
  const std::uint32_t clock = DeviceTimeToBcdHour(now);
  for (int hour = 0; hour < 24; ++hour) {
    const int r = 15 + hour;
    const bool present = records.count(hour) > 0;
    EXPECT_EQ(DescribeCell(b.At(r, 1)), present ? "int:1" : "") << dayText << " hour " << hour;
    const std::uint32_t stamp =
        (DeviceTimeToBcdHour(static_cast<std::uint32_t>(CivilToDeviceTime(day.year, day.month, day.day, hour))));
    const std::string marker = present ? "cur:1" : (stamp < clock ? "int:1" : "");
    EXPECT_EQ(DescribeCell(b.At(r, 2)), marker) << dayText << " hour " << hour;
    if (present && records[hour] == 1 && valid.count(hour)) {
      const double total = static_cast<double>(only[hour]->totals.vPlus) / 1e6;
      EXPECT_NEAR(std::get<double>(b.At(r, 3)), total, 1e-6) << "hour " << hour;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Models, SimReport,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08));

}  // namespace
