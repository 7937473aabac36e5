// The hourly report's cell block for each model, from hand-built statistics
// images through the statistics window's report plan.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include "report_test_util.hpp"
#include "reports/hour_report.hpp"
#include "reports/report_source.hpp"
#include "stats/stat_builders.hpp"
#include "stats/stat_model.hpp"
#include "stats/stat_window.hpp"

namespace {

using namespace statvtk;
using namespace stattest;
using reporttest::ExpectSameBlock;

// One hour of the test day 15.03.24 (or another day), with an optional broken checksum.
struct HourSpec {
  int day = 15;
  int hour = 0;
  std::uint64_t forward = 0, reverse = 0, mplus = 0, mminus = 0;
  std::array<std::uint32_t, 4> counters{};
  std::uint32_t flags = 0;
  float a = 0, b = 0;
  bool badSum = false;
};

// The test day's hours; 14.03 23:00 comes first in time, hour 5 fails its checksum.
// They lie in the circular hourly area as an instrument writes them: 14.03 23:00
// in the area's last slot, right before 15.03 02:00 in slot 0 (see SlotOf).
std::vector<HourSpec> Hours() {
  return {
      {15, 2, 5000000, 100000, 7000000, 10000, {100, 50, 25, 10}, 0x05, 20.5f, 1.25f, false},
      {15, 3, 6500000, 150000, 8500000, 20000, {200, 60, 30, 12}, 0x80, 21.0f, 1.5f, false},
      {15, 5, 7000000, 160000, 9000000, 30000, {300, 70, 35, 13}, 0x11, 22.0f, 1.75f, true},
      {15, 12, 9000000, 170000, 9900000, 40000, {400, 80, 40, 14}, 0x00, 23.0f, 2.0f, false},
      {14, 23, 4000000, 80000, 6000000, 5000, {90, 45, 20, 8}, 0x00, 19.0f, 1.0f, false},
  };
}

// The record each hour is decoded against: the previous entry of the time-ordered index.
const HourSpec& Previous(const std::vector<HourSpec>& hs, std::size_t i) {
  static const std::size_t kPrev[] = {4, 0, 3, 1, 4};  // 14.03 23h first; the broken hour after 12h
  return hs[kPrev[i]];
}

std::uint8_t Bcd(int v) { return IntToBcd(v); }

// Slot of hour i of Hours() in an hourly area of `count` slots.
std::size_t SlotOf(std::size_t i, std::size_t count) { return i == 4 ? count - 1 : i; }

void SetVtkClock(StatData& d) {
  d.header[2] = 0x10;  // 10 h
  d.header[4] = 0x15;
  d.header[5] = 0x03;
  d.header[6] = 0x24;
}

void BreakSum(std::span<std::uint8_t> rec, std::size_t unusedByte) { rec[unusedByte] ^= 0x01; }

StatData Image0812(const std::vector<HourSpec>& hs) {
  StatData d = StatData::Blank(DeviceType::dtVTK0812);
  SetVtkClock(d);
  std::memcpy(d.header.data() + 512, "SN123456", 8);
  d.header[520] = 3;  // 40 mm
  PutFloatBE(std::span(d.header).subspan(528), 1.5f);
  PutFloatBE(std::span(d.header).subspan(544), 2500.0f);
  PutFloatBE(std::span(d.header).subspan(560), 0.75f);
  d.header[576] = 4;
  d.header[577] = 2;
  for (std::size_t i = 0; i < hs.size(); ++i) {
    Rec0812 r;
    r.hour = Bcd(hs[i].hour);
    r.day = Bcd(hs[i].day);
    r.month = 0x03;
    r.year = 0x24;
    r.forward = hs[i].forward;
    r.reverse = hs[i].reverse;
    r.counters = hs[i].counters;
    r.flags = static_cast<std::uint8_t>(hs[i].flags);
    auto rec = Write0812(d, HourSlot0812(SlotOf(i, 1080)), r);
    if (hs[i].badSum) BreakSum(rec, 29);
  }
  return d;
}

// The record of a VTK-08.14 or LDN-08 for one hour (an LDN-08 keeps no masses).
RecTimed TimedOf(const HourSpec& h) {
  return {Time(2024, 3, h.day, h.hour), h.forward, h.reverse, h.mplus, h.mminus, h.counters, h.a, h.b, h.flags};
}

StatData Image0814(const std::vector<HourSpec>& hs, bool noT) {
  StatData d = StatData::Blank(DeviceType::dtVTK0814CM);
  SetVtkClock(d);
  std::memcpy(d.header.data() + 512, "M0814-77", 8);
  d.header[520] = 3;  // CM: 40 mm, 40 m3/h
  d.header[542] = 50;
  PutFloatBE(std::span(d.header).subspan(544), 2.5f);
  d.header[548] = noT ? 0x01 : 0x00;
  PutBE(std::span(d.header).subspan(553), 100, 4);
  PutBE(std::span(d.header).subspan(557), 100, 4);
  for (std::size_t i = 0; i < hs.size(); ++i) {
    auto rec = Write0814(d, 64 * SlotOf(i, 1440), TimedOf(hs[i]));
    if (hs[i].badSum) BreakSum(rec, 60);
  }
  return d;
}

StatData ImageLdn(const std::vector<HourSpec>& hs) {
  StatData d = StatData::Blank(DeviceType::dtLDN08);
  PutLE(std::span(d.header), 87654321, 4);
  d.header[4] = 3;
  d.header[5] = 50;
  PutFloatLE(std::span(d.header).subspan(8), 2.5f);
  PutLE(std::span(d.header).subspan(12), 100, 4);
  PutLE(std::span(d.header).subspan(16), 100, 4);
  d.header[512 + 42] = 10;
  d.header[512 + 43] = 15;
  d.header[512 + 44] = 3;
  d.header[512 + 45] = 24;
  for (std::size_t i = 0; i < hs.size(); ++i) {
    auto rec = WriteLdn(d, 68 * SlotOf(i, 1440), TimedOf(hs[i]));
    if (hs[i].badSum) BreakSum(rec, 60);
  }
  return d;
}

// The statistics window in hourly mode, the day selected, the report prepared.
HourReportInput InputOf(const StatData& d, const std::string& dayText) {
  std::shared_ptr<const StatModel> model = MakeStatModel(d);
  EXPECT_TRUE(model);
  if (!model) return {};
  StatWindowModel window(model, CalendarDate{2024, 3, 15});
  window.SetMode(StatMode::Hourly);
  const auto& items = window.Items();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].text == dayText) window.SelectItem(i);
  const ReportPlan plan = window.PrepareReport();
  EXPECT_EQ(plan.kind, ReportKind::Hourly);
  return HourInputOf(*model, plan);
}

double Diff(std::uint64_t a, std::uint64_t b) { return static_cast<double>(a) / 1e6 - static_cast<double>(b) / 1e6; }

// What every model writes alike: A8, A10, B8/B9, A11, the markers of rows 15..38.
void ExpectCommon(CellBlock& want, const std::string& serial, const std::string& model) {
  want.Set("B1", model);
  want.Set("B2", serial);
  want.Set("A8", std::string("15.03.24"));
  want.Set("A10", std::string("SVTK 1.04"));
  want.Set("B8", std::string("02:00"));  // first valid hour 2
  want.Set("B9", std::string("13:00"));  // last valid hour 12 (slot 13); hour 5's broken sum does not count
  want.Set("A11", std::int64_t{20});     // four present hours
  for (int h = 1; h <= 10; ++h) want.Set(14 + h, 2, std::int64_t{1});  // hours 0..9 lie before the clock (10 h)
  for (const int hour : {2, 3, 5, 12}) {
    want.Set(15 + hour, 1, std::int64_t{1});
    want.Set(15 + hour, 2, Currency{1.0});
  }
}

void ExpectCounters(CellBlock& want, int r, const HourSpec& h, const HourSpec& p, double div) {
  const int counterCols[] = {32, 33, 34, 36}, incCols[] = {38, 39, 40, 42};
  for (std::size_t c = 0; c < 4; ++c) {
    want.Set(r, counterCols[c], h.counters[c] / div);
    want.Set(r, incCols[c], static_cast<double>(static_cast<float>(h.counters[c] - p.counters[c])) / div);
  }
}

TEST(HourBlock, Vtk0812EveryCell) {
  const auto hs = Hours();
  const HourReportInput in = InputOf(Image0812(hs), "15.03.24");
  EXPECT_EQ(TemplateName(in.header.type, in.header.optionFlag), "VTK0812");
  CellBlock want;
  ExpectCommon(want, "SN123456", "VTK-08.12");
  want.Set("F2", 40.0);
  want.Set("G2", 1.5 / 2000.0 * 4);
  want.Set("H2", 1.5 / 100.0 * 2);
  want.Set("I2", 0.75);
  want.Set("V2", 2500.0 / 1000.0);
  for (std::size_t i = 0; i < 4; ++i) {
    const HourSpec& h = hs[i];
    const HourSpec& p = Previous(hs, i);
    const int r = 15 + h.hour;
    want.Set(r, 3, static_cast<double>(h.forward) / 1e6);
    want.Set(r, 4, static_cast<double>(h.reverse) / 1e6);
    want.Set(r, 7, Diff(h.forward, p.forward));
    want.Set(r, 8, Diff(h.reverse, p.reverse));
    ExpectCounters(want, r, h, p, 100.0);
    want.Set(r, 43, std::int64_t{h.flags});
    for (int bit = 0; bit < 8; ++bit) want.Set(r, 44 + bit, std::int64_t{(h.flags >> bit) & 1});
  }
  ExpectSameBlock(BuildHourBlock(in), want);
}

void Vtk0814Case(bool noT) {
  const auto hs = Hours();
  const HourReportInput in = InputOf(Image0814(hs, noT), "15.03.24");
  EXPECT_EQ(TemplateName(in.header.type, in.header.optionFlag), noT ? "VTK0814_no_T" : "VTK0814");
  CellBlock want;
  ExpectCommon(want, "M0814-77", "VTK-08.14");
  want.Set("F2", 40.0);    // DN
  want.Set("G2", 0.4);     // Gmin = 100 x 40 / 10000
  want.Set("H2", 40.0);    // Gmax = 100 x 40 / 100
  want.Set("I2", 1000.0);  // Fmax = 50 x 2000 / 100
  want.Set("V2", 2.5);     // Kv
  const char* status[] = {"Возб ТСП", "", "Возб Gmax", "Норма"};
  for (std::size_t i = 0; i < 4; ++i) {
    const HourSpec& h = hs[i];
    const HourSpec& p = Previous(hs, i);
    const int r = 15 + h.hour;
    const double nine[] = {
        h.forward / 1e6,         Diff(h.forward, p.forward), h.mplus / 1e6,  Diff(h.mplus, p.mplus),
        h.reverse / 1e6,         Diff(h.reverse, p.reverse), h.mminus / 1e6, Diff(h.mminus, p.mminus),
        static_cast<double>(h.a)};
    const int cols[] = {3, 7, 11, 15, 4, 8, 12, 16, 19};
    for (std::size_t k = 0; k < 9; ++k) want.Set(r, cols[k], nine[k]);
    want.Set(r, 27, noT ? CellValue(static_cast<double>(h.b)) : CellValue(Currency{0.0}));
    ExpectCounters(want, r, h, p, 3600.0);
    // 0x80 sets no flag of this model: the text then reads "Норма" as well.
    want.Set(r, 43, std::string(i == 1 ? "Норма" : status[i]));
  }
  ExpectSameBlock(BuildHourBlock(in), want);
}

TEST(HourBlock, Vtk0814EveryCell) { Vtk0814Case(false); }
TEST(HourBlock, Vtk0814NoTemperatureEveryCell) { Vtk0814Case(true); }

TEST(HourBlock, LdnEveryCell) {
  const auto hs = Hours();
  const HourReportInput in = InputOf(ImageLdn(hs), "15.03.24");
  EXPECT_EQ(TemplateName(in.header.type, in.header.optionFlag), "LDN");
  CellBlock want;
  ExpectCommon(want, "87654321", "LDN-08");
  want.Set("F2", 40.0);
  want.Set("G2", 0.4);
  want.Set("H2", 40.0);
  want.Set("I2", 2.5);  // Kv; V2 is not written for this model
  for (std::size_t i = 0; i < 4; ++i) {
    const HourSpec& h = hs[i];
    const HourSpec& p = Previous(hs, i);
    const int r = 15 + h.hour;
    want.Set(r, 3, static_cast<double>(h.forward) / 1e6);
    want.Set(r, 4, static_cast<double>(h.reverse) / 1e6);
    want.Set(r, 7, Diff(h.forward, p.forward));
    want.Set(r, 8, Diff(h.reverse, p.reverse));
    ExpectCounters(want, r, h, p, 3600.0);
  }
  // LDN status names: bit 0 "ТСП", 2 "Воздух", 3 "ПТ", 5 "Gmax", 6 "Gmin", 7 "Реверс".
  want.Set(17, 43, std::string("ТСП Воздух"));
  want.Set(18, 43, std::string("Реверс"));
  want.Set(20, 43, std::string("ТСП"));
  want.Set(27, 43, std::string("Норма"));
  ExpectSameBlock(BuildHourBlock(in), want);
}

// Without 14.03 23:00 the day's first hour is the oldest record of the file:
// its increment cells stay empty (its totals are written) and A12 counts it;
// the next hour keeps its increment against it.
struct OldestCase {
  const char* name;
  std::function<StatData(const std::vector<HourSpec>&)> image;
  std::vector<int> incrementCols;  // of the model's rows
};

class OldestHour : public ::testing::TestWithParam<OldestCase> {};

TEST_P(OldestHour, HasEmptyIncrementCellsAndANote) {
  auto hs = Hours();
  hs.pop_back();  // no 14.03 23:00
  const OldestCase& c = GetParam();
  const CellBlock b = BuildHourBlock(InputOf(c.image(hs), "15.03.24"));
  EXPECT_EQ(DescribeCell(b.At(17, 3)), DescribeCell(static_cast<double>(hs[0].forward) / 1e6));  // C17: the total
  for (const int col : c.incrementCols) {
    EXPECT_EQ(DescribeCell(b.At(17, col)), "") << ColumnName(col) << "17";
    EXPECT_NE(DescribeCell(b.At(18, col)), "") << ColumnName(col) << "18";
  }
  EXPECT_EQ(DescribeCell(b.At(18, 7)), DescribeCell(Diff(hs[1].forward, hs[0].forward)));  // G18 unchanged
  EXPECT_EQ(DescribeCell(b.At("A12")), "str:Записей без приращения: 1 (не вошли в итог)");
}

INSTANTIATE_TEST_SUITE_P(Models, OldestHour,
                         ::testing::Values(OldestCase{"Vtk0812", Image0812, {7, 8, 38, 39, 40, 42}},
                                           OldestCase{"Vtk0814",
                                                      [](const auto& hs) { return Image0814(hs, false); },
                                                      {7, 8, 15, 16, 38, 39, 40, 42}},
                                           OldestCase{"Ldn", ImageLdn, {7, 8, 38, 39, 40, 42}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Edge cases on the report input itself.
HourReportInput Bare(DeviceType t, std::uint32_t clock) {
  HourReportInput in;
  in.header.type = t;
  in.header.serial = "S1";
  in.header.clockStamp = clock;
  in.dayText = "15.03.24";
  return in;
}

TEST(HourBlock, NoHourPresent) {
  const CellBlock b = BuildHourBlock(Bare(DeviceType::dtVTK0812, 0x24031506));
  EXPECT_EQ(DescribeCell(b.At("A11")), "int:24");
  EXPECT_EQ(DescribeCell(b.At("B8")), "str:24:00");
  EXPECT_EQ(DescribeCell(b.At("B9")), "str:00:00");
  for (int h = 1; h <= 24; ++h) {
    const int r = 14 + h;
    EXPECT_EQ(DescribeCell(b.At(r, 2)), h <= 6 ? "int:1" : "") << "row " << r;
    for (int c = 1; c <= kBlockCols; ++c) {
      if (c == 2) continue;
      EXPECT_EQ(DescribeCell(b.At(r, c)), "") << ColumnName(c) << r;
    }
  }
}

TEST(HourBlock, AllHoursPresent) {
  HourReportInput in = Bare(DeviceType::dtLDN08, 0x25000000);  // the clock a year later: all hours elapsed
  for (auto& s : in.hours) s = ReportRecord{};
  const CellBlock b = BuildHourBlock(in);
  EXPECT_EQ(DescribeCell(b.At("A11")), "int:0");
  EXPECT_EQ(DescribeCell(b.At("B8")), "str:00:00");
  EXPECT_EQ(DescribeCell(b.At("B9")), "str:24:00");
  for (int r = 15; r <= 38; ++r) {
    EXPECT_EQ(DescribeCell(b.At(r, 1)), "int:1");
    EXPECT_EQ(DescribeCell(b.At(r, 2)), "cur:1");
  }
}

TEST(HourBlock, HourAfterClockWithoutRecordLeavesBEmpty) {
  HourReportInput in = Bare(DeviceType::dtVTK0812, 0x24031500);  // clock at 00 h: no hour elapsed
  in.hours[20] = ReportRecord{};
  const CellBlock b = BuildHourBlock(in);
  for (int r = 15; r <= 38; ++r) EXPECT_EQ(DescribeCell(b.At(r, 2)), r == 35 ? "cur:1" : "") << r;
}

// (Its progress steps: the export's test, which shows them.)
TEST(HourBlock, LongSerialWholeInB2) {
  HourReportInput in = Bare(DeviceType::dtVTK0814C, 0);
  in.header.serial = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  EXPECT_EQ(DescribeCell(BuildHourBlock(in).At("B2")), "str:ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
}

}  // namespace
