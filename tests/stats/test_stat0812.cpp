#include <gtest/gtest.h>

#include <cmath>

#include "stat_builders.hpp"
#include "stats/stat0812.hpp"

using namespace statvtk;
using namespace stattest;

namespace {

StatData Blank0812() { return StatData::Blank(DeviceType::dtVTK0812); }

}  // namespace

struct ValidityCase {
  const char* name;
  std::uint8_t day, month, year;
  int sumDelta;  // added to the checksum byte after fixing it
  bool valid;
};

class Validity0812 : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(Validity0812, RecordDateAndChecksum) {
  const auto& c = GetParam();
  StatData d = Blank0812();
  Rec0812 r;
  r.hour = 0x10;
  r.day = c.day;
  r.month = c.month;
  r.year = c.year;
  r.forward = 123456789;
  auto rec = Write0812(d, HourSlot0812(0), r);
  rec[31] = static_cast<std::uint8_t>(rec[31] + c.sumDelta);
  StatModel0812 m(d);
  EXPECT_EQ(m.ValidRecord(static_cast<std::uint32_t>(HourSlot0812(0))), c.valid) << c.name;
  EXPECT_EQ(m.SortIndex()[0].Key != kInvalidKey, c.valid) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Validity0812,
                         ::testing::Values(ValidityCase{"good", 0x15, 0x03, 0x24, 0, true},
                                           ValidityCase{"sum 0xFE", 0x15, 0x03, 0x24, -1, false},
                                           ValidityCase{"31.02 passes", 0x31, 0x02, 0x23, 0, true},
                                           ValidityCase{"month 0x13", 0x01, 0x13, 0x24, 0, false},
                                           ValidityCase{"day 0x00", 0x00, 0x01, 0x24, 0, false},
                                           ValidityCase{"year 0xA0", 0x01, 0x01, 0xA0, 0, false},
                                           ValidityCase{"year 0x99", 0x01, 0x01, 0x99, 0, true}),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST(Index0812, TimeOrderWithInvalidAtTheEndOfEachArea) {
  StatData d = Blank0812();
  Write0812(d, HourSlot0812(0), {0x05, 0x02, 0x03, 0x24});
  Write0812(d, HourSlot0812(1), {0x23, 0x01, 0x03, 0x24});
  Write0812(d, HourSlot0812(5), {0x00, 0x02, 0x03, 0x24});
  Write0812(d, DaySlot0812(7), {0x00, 0x10, 0x01, 0x24});
  Write0812(d, DaySlot0812(2), {0x00, 0x11, 0x01, 0x24});
  StatModel0812 m(d);
  const auto& idx = m.SortIndex();
  EXPECT_EQ(idx[0].Pos, HourSlot0812(1));
  EXPECT_EQ(idx[0].Key, 0x24030123u);
  EXPECT_EQ(idx[1].Pos, HourSlot0812(5));
  EXPECT_EQ(idx[2].Pos, HourSlot0812(0));
  EXPECT_EQ(idx[3].Key, kInvalidKey);
  // invalid entries keep their slot order behind the valid ones
  EXPECT_EQ(idx[3].Pos, HourSlot0812(2));
  EXPECT_EQ(idx[1079].Key, kInvalidKey);
  EXPECT_EQ(idx[1079].Pos, HourSlot0812(1079));
  EXPECT_EQ(idx[1080].Pos, DaySlot0812(7));
  EXPECT_EQ(idx[1081].Pos, DaySlot0812(2));
  EXPECT_EQ(idx[1082].Key, kInvalidKey);
  EXPECT_EQ(idx[1445].Pos, DaySlot0812(365));
  EXPECT_EQ(m.Index(ArchiveKind::Hourly).size(), 1080u);
  EXPECT_EQ(m.Index(ArchiveKind::Daily).size(), 366u);
  EXPECT_TRUE(m.Index(ArchiveKind::Monthly).empty());
}

TEST(Index0812, EqualKeysKeepSlotOrderAndHourBit7TakesNoPart) {
  StatData d = Blank0812();
  Write0812(d, HourSlot0812(0), {0x85, 0x15, 0x03, 0x24});  // hour 05 with the mark
  Write0812(d, HourSlot0812(1), {0x03, 0x15, 0x03, 0x24});
  Write0812(d, HourSlot0812(9), {0x07, 0x15, 0x03, 0x24, 1});
  Write0812(d, HourSlot0812(4), {0x07, 0x15, 0x03, 0x24, 2});  // the same hour in an earlier slot
  StatModel0812 m(d);
  const auto& idx = m.SortIndex();
  EXPECT_EQ(idx[0].Pos, HourSlot0812(1));
  EXPECT_EQ(idx[1].Pos, HourSlot0812(0));
  EXPECT_EQ(idx[1].Key, 0x24031505u);
  EXPECT_EQ(idx[2].Pos, HourSlot0812(4));
  EXPECT_EQ(idx[3].Pos, HourSlot0812(9));
  EXPECT_EQ(m.Decode(ArchiveKind::Hourly, 1).hour, 5);
}

TEST(Decode0812, FirstEntriesHaveNoIncrement) {
  StatData d = Blank0812();
  Rec0812 h{0x01, 0x15, 0x03, 0x24, 2500000, 750000, {100, 200, 300, 400}, 0x05};
  Rec0812 day{0x00, 0x14, 0x03, 0x24, 9000000, 1000000, {10, 20, 30, 40}, 0};
  Write0812(d, HourSlot0812(17), h);
  Write0812(d, DaySlot0812(33), day);
  StatModel0812 m(d);
  for (const auto& [entry, r] : {std::pair{std::size_t{0}, h}, std::pair{std::size_t{1080}, day}}) {
    const auto dec = m.DecodeRecord(entry);
    EXPECT_DOUBLE_EQ(dec.ForwardTotal, r.forward / 1e6);
    // The oldest record of an archive has no record before it: no increment, not its whole total.
    EXPECT_FALSE(dec.IncKnown);
    EXPECT_DOUBLE_EQ(dec.ForwardInc, 0.0);
    EXPECT_DOUBLE_EQ(dec.ReverseInc, 0.0);
    for (std::size_t c = 0; c < 4; ++c) {
      EXPECT_EQ(dec.Counters[c], r.counters[c]);
      EXPECT_FLOAT_EQ(dec.CounterInc[c], 0.0f);
    }
    EXPECT_EQ(dec.Flags, r.flags);
  }
  const StatRecord rec = m.Decode(ArchiveKind::Hourly, 0);
  EXPECT_FALSE(rec.incrementKnown);
  EXPECT_DOUBLE_EQ(rec.forwardTotal, 2.5);
  ASSERT_EQ(rec.values.size(), 4u);
  EXPECT_FALSE(rec.values[0].increment);
  EXPECT_TRUE(rec.values[1].increment);
  EXPECT_FALSE(rec.values[2].increment);
  EXPECT_TRUE(rec.values[3].increment);
}

TEST(Decode0812, IncrementsAgainstThePreviousEntry) {
  StatData d = Blank0812();
  Write0812(d, HourSlot0812(0), {0x01, 0x15, 0x03, 0x24, 4250000, 3500000, {400, 20, 7, 0}, 0});
  Write0812(d, HourSlot0812(1), {0x02, 0x15, 0x03, 0x24, 5000000, 3000000, {500, 10, 7, 0}, 0});
  StatModel0812 m(d);
  const auto dec = m.DecodeRecord(1);
  EXPECT_TRUE(dec.IncKnown);
  EXPECT_DOUBLE_EQ(dec.ForwardInc, 0.75);
  EXPECT_DOUBLE_EQ(dec.ReverseInc, -0.5);  // a reverse total that went back
  EXPECT_FLOAT_EQ(dec.CounterInc[0], 100.0f);
  EXPECT_FLOAT_EQ(dec.CounterInc[1], static_cast<float>(4294967286u));  // 10 - 20 as unsigned 32-bit
  EXPECT_GT(dec.CounterInc[1], 4.29e9f);
  EXPECT_FLOAT_EQ(dec.CounterInc[2], 0.0f);
  const auto rec = m.Decode(ArchiveKind::Hourly, 1);
  EXPECT_TRUE(rec.incrementKnown);
  EXPECT_DOUBLE_EQ(rec.forwardIncrement, 0.75);
  EXPECT_DOUBLE_EQ(rec.reverseIncrement, -0.5);
  EXPECT_EQ(rec.stamp, 0x24031502u);
  EXPECT_EQ(rec.day, 15);
  EXPECT_EQ(rec.year, 2024);
  EXPECT_DOUBLE_EQ(rec.counterDivisor, 100);
}

// Where the slot before a record (in the circular area) is blank, the record
// before it in time was not read: its increment is unknown. A damaged record
// there was read, so the next one keeps its increment against the previous
// valid record. The ring wraps: slot 0 follows the last slot.
struct GapCase {
  const char* name;
  std::size_t firstSlot, secondSlot;  // 01:00 and 02:00 of one day
  bool damagedBetween;                // a record failing its checksum in the slot before the second
  bool known;
};

class Gap0812 : public ::testing::TestWithParam<GapCase> {};

TEST_P(Gap0812, SecondRecordsIncrement) {
  const GapCase c = GetParam();
  StatData d = Blank0812();
  Write0812(d, HourSlot0812(c.firstSlot), {0x01, 0x15, 0x03, 0x24, 4000000, 0, {100, 0, 0, 0}, 0});
  Write0812(d, HourSlot0812(c.secondSlot), {0x02, 0x15, 0x03, 0x24, 5500000, 0, {250, 0, 0, 0}, 0});
  if (c.damagedBetween) {
    const std::size_t before = (c.secondSlot + StatModel0812::kHourlyCount - 1) % StatModel0812::kHourlyCount;
    Write0812(d, HourSlot0812(before), {0x09, 0x15, 0x03, 0x23, 1, 0, {}, 0});
    d.area[HourSlot0812(before) + 31] ^= 1;  // checksum broken: invalid, but not blank
  }
  StatModel0812 m(d);
  const StatRecord r = m.Decode(ArchiveKind::Hourly, 1);
  EXPECT_EQ(r.hour, 2);
  EXPECT_EQ(r.incrementKnown, c.known);
  EXPECT_DOUBLE_EQ(r.forwardIncrement, c.known ? 1.5 : 0.0);
  EXPECT_FLOAT_EQ(r.counterIncrements[0], c.known ? 150.0f : 0.0f);
  EXPECT_DOUBLE_EQ(r.forwardTotal, 5.5);
}

INSTANTIATE_TEST_SUITE_P(Cases, Gap0812,
                         ::testing::Values(GapCase{"adjacent", 7, 8, false, true},
                                           GapCase{"wrapping", 1079, 0, false, true},
                                           GapCase{"blankBetween", 7, 9, false, false},
                                           GapCase{"damagedBetween", 7, 9, true, true},
                                           GapCase{"wrongRingOrder", 1, 0, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Decode0812, IncrementUsesThePreviousEntryWhateverItsValidity) {
  StatData d = Blank0812();
  Write0812(d, HourSlot0812(0), {0x02, 0x15, 0x03, 0x24, 5000000, 0, {}, 0});
  StatModel0812 m(d);
  // entry 1 is an invalid (all-zero) slot; its increment is taken against entry 0
  const auto dec = m.DecodeRecord(1);
  EXPECT_DOUBLE_EQ(dec.ForwardInc, -5.0);
}

TEST(Decode0812, StatusText) {
  StatData d = Blank0812();
  Write0812(d, HourSlot0812(0), {0x02, 0x15, 0x03, 0x24, 0, 0, {}, 0x0A});
  Write0812(d, HourSlot0812(1), {0x03, 0x15, 0x03, 0x24, 0, 0, {}, 0});
  StatModel0812 m(d);
  EXPECT_EQ(m.Decode(ArchiveKind::Hourly, 0).statusText, "Gmax Рев.");
  EXPECT_EQ(m.Decode(ArchiveKind::Hourly, 1).statusText, "Норма");
}

TEST(DevInfo0812, DiameterTable) {
  const std::array<int, 10> expected = {15, 25, 32, 40, 50, 80, 100, 150, 0, 0};
  for (std::size_t code = 0; code < expected.size(); ++code) {
    StatData d = Blank0812();
    d.header[0x208] = static_cast<std::uint8_t>(code == 9 ? 0xFF : code);
    StatModel0812 m(d);
    EXPECT_EQ(m.GetDevInfo().Diameter, expected[code]) << "code " << code;
    EXPECT_DOUBLE_EQ(m.GetDeviceInfo().nominalSize, expected[code]);
  }
}

TEST(DevInfo0812, FieldsOfTheInformationBlock) {
  StatData d = Blank0812();
  const char serial[8] = {'1', '2', '3', '\0', '5', '6', '7', '8'};
  std::copy(serial, serial + 8, d.header.begin() + 0x200);
  PutFloatBE(std::span(d.header).subspan(0x210), 1.5f);
  PutFloatBE(std::span(d.header).subspan(0x220), 2.5f);
  PutFloatBE(std::span(d.header).subspan(0x230), -3.25f);
  d.header[0x240] = 7;
  d.header[0x241] = 9;
  PutFloatBE(std::span(d.header).subspan(0x1B4), 12.5f);
  PutBE(std::span(d.header).subspan(0x10), 123456789012ull, 6);
  PutBE(std::span(d.header).subspan(0x16), 5000000ull, 6);
  PutBE(std::span(d.header).subspan(0x1C), 0x123456, 3);
  d.header[2] = 0x14;
  d.header[4] = 0x15;
  d.header[5] = 0x03;
  d.header[6] = 0x24;
  StatModel0812 m(d);
  const auto info = m.GetDevInfo();
  EXPECT_EQ(info.Serial, "123#5678");
  EXPECT_FLOAT_EQ(info.Cal1, 1.5f);
  EXPECT_FLOAT_EQ(info.Cal2, 2.5f);
  EXPECT_FLOAT_EQ(info.Cal3, -3.25f);
  EXPECT_EQ(info.Setting1, 7);
  EXPECT_EQ(info.Setting2, 9);
  EXPECT_FLOAT_EQ(info.CurrentFlow, 12.5f);
  EXPECT_DOUBLE_EQ(info.ForwardNow, 123456.789012);
  EXPECT_DOUBLE_EQ(info.ReverseNow, 5.0);
  EXPECT_EQ(info.Value24, 0x123456u);
  const auto neutral = m.GetDeviceInfo();
  EXPECT_DOUBLE_EQ(neutral.Value(1), 1.5);
  EXPECT_DOUBLE_EQ(neutral.Value(3), -3.25);
  EXPECT_DOUBLE_EQ(neutral.Value(4), 0.0);
  EXPECT_EQ(m.DeviceClockStamp(), 0x24031514u);
  EXPECT_EQ(m.SerialText(), "123#5678");
  const auto rows = m.CurrentRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "Gтек, м3/ч");
  EXPECT_EQ(rows[0].value, "12.5000");
  EXPECT_EQ(rows[1].name, "V+, м3");
  EXPECT_EQ(rows[1].value, "123456.7890");
  EXPECT_EQ(rows[2].name, "V-, м3");
  EXPECT_EQ(rows[2].value, "5.0000");
  EXPECT_EQ(m.ReportTemplateName(), "VTK0812");
}

TEST(Events0812, RowsInTimeOrderWithFlagsAndHex) {
  StatData d = Blank0812();
  auto put = [&](std::size_t slot, std::array<std::uint8_t, 8> head) {
    auto rec = std::span<std::uint8_t>(d.area).subspan(slot * 16, 16);
    std::copy(head.begin(), head.end(), rec.begin());
    FixSum(rec);
    return rec;
  };
  put(0, {0x16, 0x03, 0x24, 0x10, 0x00, 0x00, 0x01, 0x00});
  put(1, {0x15, 0x03, 0x24, 0x23, 0x59, 0x58, 0x82, 0x01});
  auto bad = put(2, {0x14, 0x03, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00});
  bad[15] ^= 1;                                              // checksum broken: not listed
  put(3, {0x00, 0x03, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00});  // day 0: not listed
  StatModel0812 m(d);
  const auto t = m.Events();
  ASSERT_EQ(t.headings.size(), 12u);
  EXPECT_EQ(t.headings[0], "№ п/п");
  EXPECT_EQ(t.headings[10], "Сброс");
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows[0][0], "1");
  EXPECT_EQ(t.rows[0][1], "15/03/24 23:59:58");
  EXPECT_EQ(t.rows[0][2], "-");   // Выкл.
  EXPECT_EQ(t.rows[0][3], "+");   // Gmax
  EXPECT_EQ(t.rows[0][9], "+");   // Оч.
  EXPECT_EQ(t.rows[0][10], "+");  // Сброс
  EXPECT_EQ(t.rows[0][11].substr(0, 23), "15 03 24 23 59 58 82 01");
  EXPECT_EQ(t.rows[1][1], "16/03/24 10:00:00");
  EXPECT_EQ(t.rows[1][2], "+");
  EXPECT_EQ(t.rows[1][10], "-");
}
