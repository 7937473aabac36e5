// A month's hours for billing, from a crafted VTK-08.14 image: held, without
// data up to the meter's clock, with each flag, operating and error time;
// and the span that keeps only what touches it.
#include <gtest/gtest.h>

#include "analysis/situations.hpp"
#include "series_image.hpp"
#include "stats/record_plausible.hpp"

namespace analysistest {
namespace {

using namespace statvtk::analysis;

TEST(Months, HoursHeldMissingFlaggedAndCountedPerMonth) {
  Image0814 image;
  // 29.02 20:00 .. 01.03 05:00; 01.03 02:00 missing; Gmin (bit 3) at 21:00,
  // 22:00 and 01.03 00:00; half an hour of error time at 01.03 00:00. The
  // clock stands at 01.03 09:00: the hours to 08:00 are due.
  image.Hours(stattest::Time(2024, 2, 29, 20), 10, [](int i) {
    return Hour{.forward = 0.5,
                .flags = i == 1 || i == 2 || i == 4 ? 1u << 3 : 0u,
                .missing = i == 6,
                .errorSeconds = i == 4 ? 1800u : 0u};
  });
  image.Clock(2024, 3, 1, 9);
  const MeterRecords records = MeterRecordsOf(*MakeStatModel(image.data));
  const Analysis all = Analyse(records, {});
  ASSERT_EQ(all.months.size(), 2u);
  const MonthSummary& feb = all.months[0];
  const MonthSummary& mar = all.months[1];
  EXPECT_EQ(std::tuple(feb.year, feb.month, feb.hours, feb.held, feb.missing), std::tuple(2024, 2, 4LL, 4LL, 0LL));
  EXPECT_EQ(std::tuple(mar.year, mar.month, mar.hours, mar.held, mar.missing), std::tuple(2024, 3, 9LL, 5LL, 4LL));
  const auto gmin = [](const MonthSummary& m) {
    for (const auto& [word, hours] : m.flagHours)
      if (word == "Gmin") return hours;
    return -1LL;
  };
  EXPECT_EQ(gmin(feb), 2);
  EXPECT_EQ(gmin(mar), 1);
  EXPECT_EQ(feb.flagHours.size(), 7u);  // every flag the model names
  // The oldest record has no increment; the one after the gap covers two hours.
  EXPECT_DOUBLE_EQ(feb.operatingHours.value_or(-1), 3.0);
  EXPECT_DOUBLE_EQ(mar.operatingHours.value_or(-1), 6.0);
  EXPECT_DOUBLE_EQ(mar.errorHours.value_or(-1), 0.5);

  Settings march;
  march.from = CalendarSecondsOf(2024, 3, 1, 0);
  const Analysis fromMarch = Analyse(records, march);
  ASSERT_EQ(fromMarch.months.size(), 1u);
  EXPECT_EQ(fromMarch.months[0].month, 3);
  ASSERT_EQ(fromMarch.situations.size(), 1u);  // the February Gmin run ends before the span
  EXPECT_EQ(HourText(fromMarch.situations[0].from), "2024-03-01 00:00");
}

TEST(Settings, KeysTakeTheirValuesAndRefuseOthers) {
  Settings s;
  EXPECT_TRUE(SetSetting(s, "NightFlow", "0.05"));
  EXPECT_TRUE(SetSetting(s, "NightsInRow", "4"));
  EXPECT_DOUBLE_EQ(s.nightFlow, 0.05);
  EXPECT_EQ(s.nightsInRow, 4);
  for (const auto& [key, value] : {std::pair{"NightsInRow", "0"},
                                   {"NightsInRow", "2.5"},
                                   {"NightFlow", "-1"},
                                   {"NightFlow", "1e3"},
                                   {"SpikeFactor", ""},
                                   {"Nights", "3"}})
    EXPECT_FALSE(SetSetting(s, key, value)) << key << "=" << value;
  EXPECT_EQ(s.nightsInRow, 4);
}

}  // namespace
}  // namespace analysistest
