// The situations of crafted VTK-08.14 and VTK-08.12 images, through real
// decoding: each volume rule and its edges, flags across midnight and the
// ring's end, events of both event layouts, a record that is no period.
#include <gtest/gtest.h>

#include <string>

#include "analysis/situations.hpp"
#include "series_image.hpp"
#include "stats/stat0812.hpp"

namespace analysistest {
namespace {

using statvtk::analysis::Analyse;
using statvtk::analysis::HourText;
using statvtk::analysis::MeterRecordsOf;
using statvtk::analysis::Settings;
using statvtk::analysis::Situation;
using statvtk::analysis::SituationKindName;

const std::uint32_t kStart = stattest::Time(2024, 3, 1);  // a Friday, 00:00
constexpr std::size_t kNearRingEnd = 1440 - 20;           // hourly series cross the ring's end

// Each situation as "kind detail from..to hours" ("open" for no end).
std::vector<std::string> Lines(const std::vector<Situation>& list) {
  std::vector<std::string> out;
  for (const Situation& s : list)
    out.push_back(std::string(SituationKindName(s.kind)) + (s.detail.empty() ? "" : " " + s.detail) + " " +
                  HourText(s.from) + ".." + (s.to ? HourText(*s.to) : "open") + " " + std::to_string(s.hours));
  return out;
}

std::vector<std::string> SituationsOf(const StatData& data, const Settings& settings = {}) {
  const auto model = MakeStatModel(data);
  EXPECT_TRUE(model);
  return model ? Lines(Analyse(MeterRecordsOf(*model), settings).situations) : std::vector<std::string>{};
}

// Flow at 02:00..04:00 of the first `nights` days, none at other hours.
std::function<Hour(int)> Nights(int nights, double flow = 0.05) {
  return [=](int i) {
    const int h = i % 24;
    return Hour{.forward = i / 24 < nights && h >= 2 && h <= 4 ? flow : 0};
  };
}

std::function<Hour(int)> FlowFrom(int first, int end, double flow, int missing = -1) {
  return [=](int i) { return Hour{.forward = i >= first && i < end ? flow : 0, .missing = i == missing}; };
}

struct RuleCase {
  const char* name;
  int hours;  // hourly records from kStart
  std::function<Hour(int)> hour;
  std::vector<double> days;  // daily records from kStart (negative: missing)
  Settings settings;
  std::vector<std::string> expected;
};

std::vector<double> Weeks(int days, std::vector<std::pair<int, double>> changes) {
  std::vector<double> v(static_cast<std::size_t>(days), 1.0);
  for (const auto& [day, value] : changes) v[static_cast<std::size_t>(day)] = value;
  return v;
}

Settings NightsInRow(int n) {
  Settings s;
  s.nightsInRow = n;
  return s;
}

const RuleCase kRules[] = {
    {"night flow on three nights", 4 * 24, Nights(3), {}, {}, {"night_flow 2024-03-01 02:00..2024-03-03 04:00 9"}},
    {"a missing hour inside a night breaks the row",
     6 * 24,
     [](int i) { return Hour{.forward = Nights(5)(i).forward, .missing = i == 2 * 24 + 3}; },
     {},
     {},
     {}},
    {"... into two rows of two",
     6 * 24,
     [](int i) { return Hour{.forward = Nights(5)(i).forward, .missing = i == 2 * 24 + 3}; },
     {},
     NightsInRow(2),
     {"night_flow 2024-03-01 02:00..2024-03-02 04:00 6", "night_flow 2024-03-04 02:00..2024-03-05 04:00 6"}},
    {"night flow to the newest record is open", 2 * 24 + 5, Nights(3), {}, {}, {"night_flow 2024-03-01 02:00..open 9"}},
    {"below the night flow", 4 * 24, Nights(3, 0.019), {}, {}, {}},
    {"continuous flow of 48 hours",
     60,
     FlowFrom(5, 53, 0.01),
     {},
     {},
     {"continuous_flow 2024-03-01 05:00..2024-03-03 04:00 48"}},
    {"a missing hour splits continuous flow", 70, FlowFrom(5, 70, 0.01, 30), {}, {}, {}},
    {"continuous flow to the newest record is open",
     50,
     FlowFrom(0, 50, 0.01),
     {},
     {},
     {"continuous_flow 2024-03-01 01:00..open 49"}},
    {"reverse volume above the limit, hours in a row as one",
     24,
     [](int i) {
       return Hour{.reverse = i == 10 || i == 11 || i == 14 ? 0.02 : i == 12 ? 0.005 : 0};
     },
     {},
     {},
     {"reverse_volume 2024-03-01 10:00..2024-03-01 11:00 2", "reverse_volume 2024-03-01 14:00..2024-03-01 14:00 1"}},
    {"seven days without consumption",
     0,
     {},
     {1, 1, 0, 0, 0, 0, 0, 0, 0, 1},
     {},
     {"no_consumption 2024-03-03 00:00..2024-03-09 23:00 168"}},
    {"six days are not enough", 0, {}, {1, 1, 0, 0, 0, 0, 0, 0, 1}, {}, {}},
    // The four Fridays before 05.04 hold 0.5, 10, 1.5, 1: a median of 1.25.
    {"a spike over the weekday's median; none in the first four weeks",
     0,
     {},
     Weeks(42, {{7, 0.5}, {14, 10}, {21, 1.5}, {35, 4}}),
     {},
     {"consumption_spike 2024-04-05 00:00..2024-04-05 23:00 24"}},
    {"just under three medians", 0, {}, Weeks(42, {{7, 0.5}, {14, 10}, {21, 1.5}, {35, 3.7}}), {}, {}},
    {"a missing week leaves no median", 0, {}, Weeks(42, {{14, 10}, {21, -1}, {35, 4}}), {}, {}},
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class Rules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(Rules, FindTheirSituations) {
  const RuleCase& c = GetParam();
  Image0814 image;
  if (c.hours > 0) image.Hours(kStart, c.hours, c.hour, kNearRingEnd);
  if (!c.days.empty()) image.Days(kStart, c.days, 400 - 10);
  EXPECT_EQ(SituationsOf(image.data, c.settings), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Analysis, Rules, ::testing::ValuesIn(kRules), [](const auto& info) {
  std::string name;
  for (const char* p = info.param.name; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
});

TEST(Flags, ARunOfHoursPerFlagAcrossMidnightAndTheRingsEnd) {
  Image0814 image;
  // Gmin (bit 3) 22:00..02:00 with 22:00 in the ring's last slot; Рев (bit 5)
  // at 10:00 and 12:00; Пит (bit 6) in the two newest hours.
  image.Hours(
      kStart, 30,
      [](int i) {
        std::uint32_t f = 0;
        if (i >= 22 && i <= 26) f |= 1u << 3;
        if (i == 10 || i == 12) f |= 1u << 5;
        if (i >= 28) f |= 1u << 6;
        return Hour{.flags = f};
      },
      1440 - 23);
  EXPECT_EQ(SituationsOf(image.data),
            (std::vector<std::string>{
                "flag Рев 2024-03-01 10:00..2024-03-01 10:00 1", "flag Рев 2024-03-01 12:00..2024-03-01 12:00 1",
                "flag Gmin 2024-03-01 22:00..2024-03-02 02:00 5", "flag Пит 2024-03-02 04:00..open 2"}));
}

TEST(Records, ARecordThatIsNoPeriodIsLeftOutAndTheNextHasNoIncrement) {
  StatData d = StatData::Blank(DeviceType::dtVTK0812);
  // 29.02 22:00, 23:00, then a 31.02 (no calendar date) sorted between, then 01.03 00:00, 01:00; all Gmax.
  const stattest::Rec0812 recs[] = {{0x22, 0x29, 0x02, 0x24, 100000, 0, {}, 2},
                                    {0x23, 0x29, 0x02, 0x24, 200000, 0, {}, 2},
                                    {0x00, 0x31, 0x02, 0x24, 900000, 0, {}, 2},
                                    {0x00, 0x01, 0x03, 0x24, 300000, 0, {}, 2},
                                    {0x01, 0x01, 0x03, 0x24, 400000, 0, {}, 2}};
  for (std::size_t i = 0; i < std::size(recs); ++i) stattest::Write0812(d, stattest::HourSlot0812(i), recs[i]);
  const auto model = MakeStatModel(d);
  const auto records = MeterRecordsOf(*model);
  ASSERT_EQ(records.hourly.size(), 4u);
  EXPECT_TRUE(records.hourly[1].known);
  EXPECT_NEAR(records.hourly[1].forward, 0.1, 1e-9);
  EXPECT_FALSE(records.hourly[2].known);  // its increment is against the 31.02 record
  EXPECT_NEAR(records.hourly[3].forward, 0.1, 1e-9);
  EXPECT_EQ(SituationsOf(d), (std::vector<std::string>{"flag Gmax 2024-02-29 22:00..open 4"}));
}

TEST(Events, PowerStatesAndOneHourEventsOfVtk0814) {
  Image0814 image;
  const auto at = [](int h, int m) { return stattest::Time(2024, 3, 1, h, m); };
  image.Event(0, at(10, 17), 1u << 1);   // power off
  image.Event(1, at(13, 42), 1u << 0);   // power on
  image.Event(2, at(15, 5), 1u << 3);    // settings
  image.Event(3, at(16, 10), 1u << 9);   // Gmin set
  image.Event(4, at(18, 30), 1u << 4);   // clock set, Gmin clear
  image.Event(5, at(20, 0), 1u << 2);    // calibration
  image.Event(6, at(21, 59), 1u << 11);  // reverse, still set
  EXPECT_EQ(SituationsOf(image.data), (std::vector<std::string>{
                                          "power_off Выкл. 2024-03-01 10:00..2024-03-01 13:00 4",
                                          "settings_changed Настр. 2024-03-01 15:00..2024-03-01 15:00 1",
                                          "flag Gmin 2024-03-01 16:00..2024-03-01 18:00 3",
                                          "clock_changed Изм. врем. 2024-03-01 18:00..2024-03-01 18:00 1",
                                          "calibration Калибр. 2024-03-01 20:00..2024-03-01 20:00 1",
                                          "flag Рев. 2024-03-01 21:00..open 1",
                                      }));
}

TEST(Events, Vtk0812PowerOffEndsWithAnEventThatHasItClear) {
  StatData d = StatData::Blank(DeviceType::dtVTK0812);
  const auto event = [&d](std::size_t slot, std::uint8_t hour, std::uint8_t minute, std::uint8_t bits) {
    auto rec = std::span<std::uint8_t>(d.area).subspan(StatModel0812::kEventOffset + 16 * slot, 16);
    const std::uint8_t head[] = {0x01, 0x03, 0x24, hour, minute, 0x00, bits};
    std::copy(std::begin(head), std::end(head), rec.begin());
    stattest::FixSum(rec);
  };
  event(0, 0x10, 0x17, 0x01);  // Выкл.
  event(1, 0x13, 0x42, 0x00);
  event(2, 0x15, 0x00, 0x40);  // Настр.
  EXPECT_EQ(SituationsOf(d), (std::vector<std::string>{
                                 "power_off Выкл. 2024-03-01 10:00..2024-03-01 13:00 4",
                                 "settings_changed Настр. 2024-03-01 15:00..2024-03-01 15:00 1",
                             }));
}

}  // namespace
}  // namespace analysistest
