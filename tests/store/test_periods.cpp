// Periods of the three archives: texts, steps across month/year/leap ends, gaps and spans.
#include <gtest/gtest.h>

#include "store/periods.hpp"

namespace statvtk::store {
namespace {

struct StepCase {
  ArchiveKind kind;
  const char* from;
  long n;
  const char* to;
};

class PeriodStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(PeriodStep, StepsAndCountsBack) {
  const auto& c = GetParam();
  const auto from = ParsePeriod(c.kind, c.from);
  ASSERT_TRUE(from);
  const PeriodTime to = StepPeriod(c.kind, *from, c.n);
  EXPECT_EQ(PeriodText(c.kind, to), c.to);
  EXPECT_EQ(PeriodsBetween(c.kind, *from, to), c.n);
}

INSTANTIATE_TEST_SUITE_P(Calendar, PeriodStep,
                         ::testing::Values(StepCase{ArchiveKind::Hourly, "2024-02-28 23:00", 1, "2024-02-29 00:00"},
                                           StepCase{ArchiveKind::Hourly, "2023-12-31 23:00", 2, "2024-01-01 01:00"},
                                           StepCase{ArchiveKind::Hourly, "2024-03-01 00:00", -1, "2024-02-29 23:00"},
                                           StepCase{ArchiveKind::Hourly, "2024-01-01 00:00", 24 * 366,
                                                    "2025-01-01 00:00"},
                                           StepCase{ArchiveKind::Daily, "2023-02-28", 1, "2023-03-01"},
                                           StepCase{ArchiveKind::Daily, "2024-01-01", -1, "2023-12-31"},
                                           StepCase{ArchiveKind::Monthly, "2023-12", 1, "2024-01"},
                                           StepCase{ArchiveKind::Monthly, "2024-01", -13, "2022-12"}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Periods, ParseRefusesWhatIsNotThePeriodOfTheArchive) {
  EXPECT_FALSE(ParsePeriod(ArchiveKind::Hourly, "2024-02-30 01:00"));
  EXPECT_FALSE(ParsePeriod(ArchiveKind::Hourly, "2024-02-03 24:00"));
  EXPECT_FALSE(ParsePeriod(ArchiveKind::Hourly, "2024-02-03 01:30"));
  EXPECT_FALSE(ParsePeriod(ArchiveKind::Daily, "2024-02-03 01:00"));
  EXPECT_FALSE(ParsePeriod(ArchiveKind::Monthly, "2024-13"));
  EXPECT_FALSE(ParsePeriod(ArchiveKind::Daily, "2023-02-29"));
  EXPECT_TRUE(ParsePeriod(ArchiveKind::Daily, "2024-02-29"));
}

TEST(Periods, MissingAndSpans) {
  const auto from = *ParsePeriod(ArchiveKind::Hourly, "2024-03-30 22:00");
  const auto to = *ParsePeriod(ArchiveKind::Hourly, "2024-03-31 04:00");
  const std::vector<std::string> held{"2024-03-30 22:00", "2024-03-31 01:00", "2024-03-31 04:00"};
  const auto missing = MissingPeriods(ArchiveKind::Hourly, held, from, to);
  EXPECT_EQ(missing,
            (std::vector<std::string>{"2024-03-30 23:00", "2024-03-31 00:00", "2024-03-31 02:00", "2024-03-31 03:00"}));
  const auto spans = JoinSpans(ArchiveKind::Hourly, missing);
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[0].first, "2024-03-30 23:00");
  EXPECT_EQ(spans[0].last, "2024-03-31 00:00");
  EXPECT_EQ(spans[1].count, 2);
  EXPECT_TRUE(MissingPeriods(ArchiveKind::Hourly, held, to, from).empty());
}

TEST(Periods, UtcText) {
  EXPECT_EQ(UtcText(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(UtcText(951782400 + 86399), "2000-02-29T23:59:59Z");
}

}  // namespace
}  // namespace statvtk::store
