#include <gtest/gtest.h>

#include "stat_builders.hpp"
#include "stats/stat_window.hpp"

using namespace statvtk;
using namespace stattest;

namespace {

std::shared_ptr<const StatModel> ModelOf(const StatData& d) { return MakeStatModel(d); }

std::vector<std::string> Texts(const StatWindowModel& w) {
  std::vector<std::string> out;
  for (const auto& i : w.Items()) out.push_back(i.text);
  return out;
}

constexpr CalendarDate kToday{2024, 4, 1};

// Hourly records on 14.03 (hours 22, 23) and 15.03 (hours 0..2); daily 13..15.03.
StatData Sample0812() {
  StatData d = StatData::Blank(DeviceType::dtVTK0812);
  Write0812(d, HourSlot0812(0), {0x00, 0x15, 0x03, 0x24, 1000000});
  Write0812(d, HourSlot0812(1), {0x01, 0x15, 0x03, 0x24, 2000000});
  Write0812(d, HourSlot0812(2), {0x02, 0x15, 0x03, 0x24, 3000000});
  Write0812(d, HourSlot0812(1078), {0x22, 0x14, 0x03, 0x24, 500000});
  Write0812(d, HourSlot0812(1079), {0x23, 0x14, 0x03, 0x24, 700000});
  Write0812(d, DaySlot0812(0), {0x00, 0x15, 0x03, 0x24});
  Write0812(d, DaySlot0812(364), {0x00, 0x13, 0x03, 0x24});
  Write0812(d, DaySlot0812(365), {0x00, 0x14, 0x03, 0x24});  // the last daily slot
  Write0812(d, DaySlot0812(100), {0x00, 0x28, 0x02, 0x24});
  return d;
}

}  // namespace

TEST(StatWindow, DailyAtCreationThenHourlyAndMonthlyLists) {
  StatWindowModel w(ModelOf(Sample0812()), kToday);
  EXPECT_EQ(w.Mode(), StatMode::Daily);
  EXPECT_TRUE(w.MultiSelect());
  EXPECT_TRUE(w.EndDateEnabled());
  // the last of the 366 daily slots is listed
  EXPECT_EQ(Texts(w), (std::vector<std::string>{"28.02.24", "13.03.24", "14.03.24", "15.03.24"}));
  EXPECT_EQ(w.Items()[1].key, 0x24031300u);
  w.SetMode(StatMode::Hourly);
  EXPECT_FALSE(w.MultiSelect());
  EXPECT_FALSE(w.EndDateEnabled());
  EXPECT_EQ(Texts(w), (std::vector<std::string>{"14.03.24", "15.03.24"}));
  EXPECT_EQ(w.Items()[1].key, 0x24031500u);
  w.SetMode(StatMode::Monthly);
  // VTK-08.12 keeps no monthly archive: the months of its daily archive
  EXPECT_EQ(Texts(w), (std::vector<std::string>{"02.24", "03.24"}));
  EXPECT_EQ(w.Items()[0].archive, ArchiveKind::Daily);
}

TEST(StatWindow, MonthlyListOfAModelWithAMonthlyArchive) {
  StatData d = StatData::Blank(DeviceType::dtVTK0814C);
  Write0814(d, 117760, {Time(2024, 2, 1)});
  Write0814(d, 117760 + 64, {Time(2024, 1, 1)});
  StatWindowModel w(ModelOf(d), kToday);
  w.SetMode(StatMode::Monthly);
  EXPECT_EQ(Texts(w), (std::vector<std::string>{"01.24", "02.24"}));
  EXPECT_EQ(w.Items()[0].archive, ArchiveKind::Monthly);
}

TEST(StatWindow, HourlySelectionIsSingle) {
  StatWindowModel w(ModelOf(Sample0812()), kToday);
  w.SetMode(StatMode::Hourly);
  w.SelectItem(0);
  w.SelectItem(1);
  EXPECT_EQ(w.SelectedItems(), (std::vector<std::size_t>{1}));
  w.SetMode(StatMode::Daily);
  w.SelectItem(0);
  w.SelectItem(2);
  EXPECT_EQ(w.SelectedItems(), (std::vector<std::size_t>{0, 2}));
}

TEST(StatWindow, DailyToHourlyReselectsTheDay) {
  StatWindowModel w(ModelOf(Sample0812()), kToday);
  w.SelectItem(3);  // 15.03.24
  w.SelectItem(2);
  w.SetMode(StatMode::Hourly);
  EXPECT_EQ(w.RememberedItem(), "14.03.24");  // the first selected item
  ASSERT_EQ(w.SelectedItems().size(), 1u);
  EXPECT_EQ(w.Items()[w.SelectedItems()[0]].text, "14.03.24");
}

TEST(StatWindow, ListClickSetsTheDates) {
  StatWindowModel w(ModelOf(Sample0812()), kToday);
  w.SelectItem(1);
  w.SelectItem(3);
  w.SelectionChanged();
  EXPECT_EQ(w.BeginDate(), (CalendarDate{2024, 3, 13}));
  EXPECT_EQ(w.EndDate(), (CalendarDate{2024, 3, 15}));
  w.SetMode(StatMode::Hourly);
  w.SelectItem(0);
  w.SelectionChanged();
  EXPECT_EQ(w.BeginDate(), (CalendarDate{2024, 3, 14}));
}

struct EndDateCase {
  const char* name;
  CalendarDate begin, end, expected;
};

class EndDateCorrection : public ::testing::TestWithParam<EndDateCase> {};

TEST_P(EndDateCorrection, PickerChangeAndDailyReport) {
  const auto& c = GetParam();
  StatWindowModel w(ModelOf(Sample0812()), kToday);
  w.SetBeginDate(c.begin);
  w.SetEndDate(c.end);
  w.DatesChanged();
  EXPECT_EQ(w.EndDate(), c.expected) << c.name;
  w.SetEndDate(c.end);
  w.PrepareReport();
  EXPECT_EQ(w.EndDate(), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, EndDateCorrection,
                         ::testing::Values(EndDateCase{"forty_days_after", {2024, 3, 1}, {2024, 4, 10}, {2024, 4, 1}},
                                           EndDateCase{
                                               "thirty_one_days_kept", {2024, 3, 1}, {2024, 4, 1}, {2024, 4, 1}},
                                           EndDateCase{"before_begin", {2024, 3, 10}, {2024, 3, 2}, {2024, 3, 10}},
                                           EndDateCase{"across_the_year", {2023, 12, 15}, {2024, 2, 1}, {2024, 1, 15}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StatWindow, ThirtyOneDayLimitOnlyInDailyReport) {
  StatWindowModel w(ModelOf(Sample0812()), kToday);
  w.SetMode(StatMode::Hourly);
  w.SetBeginDate({2024, 3, 1});
  w.SetEndDate({2024, 4, 10});
  w.PrepareReport();
  EXPECT_EQ(w.EndDate(), (CalendarDate{2024, 4, 10}));
}

TEST(StatWindow, BeginDateChangeSelects) {
  StatWindowModel w(ModelOf(Sample0812()), kToday);
  w.SetBeginDate({2024, 3, 13});
  w.SetEndDate({2024, 3, 14});
  w.DatesChanged();
  EXPECT_EQ(w.SelectedItems(), (std::vector<std::size_t>{1, 2}));
  w.SetMode(StatMode::Hourly);
  w.SetBeginDate({2024, 3, 15});
  w.DatesChanged();
  EXPECT_EQ(w.SelectedItems(), (std::vector<std::size_t>{1}));
  w.SetBeginDate({2024, 3, 20});  // no records that day
  w.DatesChanged();
  EXPECT_TRUE(w.SelectedItems().empty());
}

TEST(StatWindow, HourSlotsFirstEntryWins) {
  StatData d = Sample0812();
  Write0812(d, HourSlot0812(10), {0x01, 0x15, 0x03, 0x24, 9000000});  // a second 01:00 after slot 1
  Write0812(d, HourSlot0812(11), {0x85, 0x15, 0x03, 0x24, 8000000});  // 05:00 with the hour mark
  auto bad = Write0812(d, HourSlot0812(12), {0x07, 0x15, 0x03, 0x24});
  bad[31] ^= 1;  // 07:00 with a broken checksum: a slot, but not in the list's validity
  StatWindowModel w(ModelOf(d), kToday);
  w.SetMode(StatMode::Hourly);
  w.SelectItem(1);
  const auto plan = w.PrepareReport();
  ASSERT_EQ(plan.kind, ReportKind::Hourly);
  EXPECT_EQ(plan.dayText, "15.03.24");
  EXPECT_EQ(plan.dayKey, 0x24031500u);
  const auto& m = w.Model();
  const auto idx = m.Index(ArchiveKind::Hourly);
  for (int h = 0; h < 24; ++h) {
    const bool expected = h <= 2 || h == 5 || h == 7;
    EXPECT_EQ(plan.hours[h].present, expected) << "hour " << h;
  }
  EXPECT_EQ(idx[plan.hours[1].entry].Pos, HourSlot0812(1));
  EXPECT_DOUBLE_EQ(m.Decode(ArchiveKind::Hourly, plan.hours[1].entry).forwardTotal, 2.0);
  EXPECT_EQ(idx[plan.hours[5].entry].Pos, HourSlot0812(11));
  EXPECT_EQ(idx[plan.hours[7].entry].Pos, HourSlot0812(12));
  EXPECT_FALSE(m.ChecksumValid(ArchiveKind::Hourly, plan.hours[7].entry));
  EXPECT_TRUE(m.ChecksumValid(ArchiveKind::Hourly, plan.hours[0].entry));
}

TEST(StatWindow, DailyReportDaysWithinTheRange) {
  StatWindowModel w(ModelOf(Sample0812()), kToday);
  for (std::size_t i = 0; i < 4; ++i) w.SelectItem(i);
  w.SetBeginDate({2024, 3, 13});
  w.SetEndDate({2024, 3, 14});
  const auto plan = w.PrepareReport();
  ASSERT_EQ(plan.kind, ReportKind::Daily);
  ASSERT_EQ(plan.days.size(), 2u);
  EXPECT_EQ(plan.days[0].text, "13.03.24");
  EXPECT_EQ(plan.days[1].text, "14.03.24");
  EXPECT_EQ(w.Model().Index(ArchiveKind::Daily)[plan.days[1].entry].Pos, DaySlot0812(365));
  w.SetMode(StatMode::Monthly);
  w.SelectItem(0);
  EXPECT_EQ(w.PrepareReport().kind, ReportKind::None);
}

TEST(StatWindow, TimedModelsUseTheirDeviceTimes) {
  for (auto t : {DeviceType::dtVTK0814CM, DeviceType::dtLDN08}) {
    StatData d = StatData::Blank(t);
    auto write = t == DeviceType::dtLDN08 ? WriteLdn : Write0814;
    const std::size_t size = t == DeviceType::dtLDN08 ? 68 : 64;
    write(d, 0, {Time(2024, 3, 16, 0), 3});
    write(d, size, {Time(2024, 3, 15, 23), 2});
    write(d, 2 * size, {Time(2024, 3, 15, 23, 0, 0), 5});  // the same hour again
    StatWindowModel w(ModelOf(d), kToday);
    w.SetMode(StatMode::Hourly);
    EXPECT_EQ(Texts(w), (std::vector<std::string>{"15.03.24", "16.03.24"}));
    w.SelectItem(0);
    const auto plan = w.PrepareReport();
    EXPECT_TRUE(plan.hours[23].present);
    EXPECT_EQ(w.Model().Index(ArchiveKind::Hourly)[plan.hours[23].entry].Pos, size);
    for (int h = 0; h < 23; ++h) EXPECT_FALSE(plan.hours[h].present);
  }
}

// With a valid record the rows are the model's (their texts: the model tests).
TEST(StatWindow, CurrentValuesRows) {
  StatData d = StatData::Blank(DeviceType::dtVTK0812);
  Write0812(d, HourSlot0812(0), {0x01, 0x15, 0x03, 0x24, 1000000, 0, {}, 0});
  StatWindowModel w(ModelOf(d), kToday);
  const auto rows = w.ShowCurr();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].value, "0.0000");
}

// A file without a single valid record (a random file of the right size, a
// read stopped before its first record) opens, but says so instead of
// showing its header's values as current ones.
TEST(StatWindow, NoValidRecordIsSaidInsteadOfCurrentValues) {
  for (auto t : {DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtLDN08}) {
    StatData d = StatData::Blank(t);
    for (std::size_t i = 0; i < d.area.size(); ++i) d.area[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (std::size_t i = 0; i < d.header.size(); ++i) d.header[i] = static_cast<std::uint8_t>(i * 13 + 1);
    StatWindowModel w(ModelOf(d), kToday);
    EXPECT_FALSE(w.Model().HasValidRecord());
    const auto rows = w.ShowCurr();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "В файле нет ни одной верной записи");
    for (auto mode : {StatMode::Hourly, StatMode::Daily, StatMode::Monthly}) {
      w.SetMode(mode);
      EXPECT_TRUE(w.Items().empty()) << DeviceTypeName(t);
      EXPECT_EQ(w.PrepareReport().kind, ReportKind::None);
    }
  }
}
