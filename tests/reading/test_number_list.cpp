// Address and speed lists, and the per-archive decision of a new-records read.
#include <gtest/gtest.h>

#include "support/result_util.hpp"
#include "reading/new_records.hpp"
#include "reading/number_list.hpp"

namespace statvtk {
namespace {

using V = std::vector<std::uint32_t>;

TEST(NumberList, NumbersAndRangesInTheOrderGivenWithoutRepeats) {
  struct Case {
    const char* text;
    V want;
  } cases[] = {
      {"1-4", {1, 2, 3, 4}},    {"1,3,5-8", {1, 3, 5, 6, 7, 8}}, {"7", {7}},   {"11,3,7", {11, 3, 7}},
      {" 2 , 4-5 ", {2, 4, 5}}, {"3,1-4", {3, 1, 2, 4}},         {"0-0", {0}},
  };
  for (const auto& c : cases) {
    const auto got = ParseNumberList(c.text, 0, 255);
    ASSERT_TRUE(got) << c.text << ": " << ReasonOf(got);
    EXPECT_EQ(*got, c.want) << c.text;
  }
}

TEST(NumberList, BadTextsAreRefusedWithAReason) {
  for (const char* text : {"", ",", "1,", "-3", "4-", "5-3", "256", "1-300", "x", "1.5", "1--2", "99999999999"}) {
    const auto got = ParseNumberList(text, 0, 255);
    EXPECT_FALSE(got) << text;
    EXPECT_FALSE(ReasonOf(got).empty()) << text;
  }
}

constexpr ArchiveArea kArea{1000, 10, 5};  // records at 1000, 1010, ..., 1040

std::vector<std::uint8_t> FullArea() { return std::vector<std::uint8_t>(2000, 0x11); }

TEST(PlanArchive, RecordsAfterTheBasePointerUpToTheInstrumentsWrapping) {
  const auto base = FullArea();
  ArchivePlan p = PlanArchive(kArea, 1010, 1030, base, 0, 2 * 3600, 3600);
  ASSERT_FALSE(p.full) << static_cast<int>(p.reason);
  EXPECT_EQ(p.overlap, 1010u);
  EXPECT_EQ(p.records, (V{1020, 1030}));

  p = PlanArchive(kArea, 1030, 1000, base, 0, 3 * 3600, 3600);
  ASSERT_FALSE(p.full) << static_cast<int>(p.reason);
  EXPECT_EQ(p.records, (V{1040, 1000}));

  p = PlanArchive(kArea, 1020, 1020, base, std::nullopt, std::nullopt, 3600);
  ASSERT_FALSE(p.full);
  EXPECT_TRUE(p.records.empty());
}

// Slots the base lacks (all zero, or unknown by its mask) are fetched with
// the new records, never the area whole; the record compared is the base's
// newest one it holds.
TEST(PlanArchive, SlotsTheBaseLacksAreFetchedWithTheNewRecords) {
  auto holey = FullArea();
  std::fill(holey.begin() + 1030, holey.begin() + 1040, 0);
  ArchivePlan p = PlanArchive(kArea, 1010, 1020, holey, 0, 3600, 3600);
  ASSERT_FALSE(p.full) << static_cast<int>(p.reason);
  EXPECT_EQ(p.overlap, 1010u);
  EXPECT_EQ(p.records, (V{1030, 1020}));
  EXPECT_EQ(p.missing, 1u);

  // Its pointer's own slot lacking (a read cut off): the one before is compared.
  std::fill(holey.begin() + 1020, holey.begin() + 1030, 0);
  p = PlanArchive(kArea, 1020, 1030, holey, 0, 3600, 3600);
  ASSERT_FALSE(p.full) << static_cast<int>(p.reason);
  EXPECT_EQ(p.overlap, 1010u);
  EXPECT_EQ(p.records, (V{1020, 1030}));

  // A mask says what is known whatever the bytes (a slot of zeros the meter holds).
  p = PlanArchive(kArea, 1010, 1010, std::vector<std::uint8_t>(2000, 0), 0, 0, 3600, {true, true, false, true, true});
  ASSERT_FALSE(p.full) << static_cast<int>(p.reason);
  EXPECT_EQ(p.records, (V{1020}));
}

TEST(PlanArchive, WhatCannotBeTrustedIsReadInFull) {
  struct Case {
    std::uint32_t basePtr, ptr;
    std::vector<std::uint8_t> base;
    std::optional<std::int64_t> baseClock, clock;
    FullReason reason;
  } cases[] = {
      {1015, 1020, FullArea(), 0, 3600, FullReason::BasePointer},  // base pointer between records
      {1010, 999, FullArea(), 0, 3600, FullReason::Pointer},       // instrument pointer outside the area
      {1010, 1020, std::vector<std::uint8_t>(2000, 0), 0, 3600, FullReason::BaseIncomplete},  // base holds none
      {1010, 1020, FullArea(), 7200, 3600, FullReason::ClockBehind},      // the instrument's clock is behind the base's
      {1010, 1020, FullArea(), 0, 5 * 3600, FullReason::MayHaveWrapped},  // the whole area may have been rewritten
      {1010, 1040, FullArea(), 0, 60, FullReason::PointerTooFar},  // the pointer ran further than the time passed
  };
  for (const auto& c : cases) {
    const ArchivePlan p = PlanArchive(kArea, c.basePtr, c.ptr, c.base, c.baseClock, c.clock, 3600);
    EXPECT_TRUE(p.full) << c.basePtr << " -> " << c.ptr;
    EXPECT_EQ(p.reason, c.reason) << c.basePtr << " -> " << c.ptr;
    EXPECT_TRUE(p.records.empty());
  }
}

}  // namespace
}  // namespace statvtk
