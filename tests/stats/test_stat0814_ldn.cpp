#include <gtest/gtest.h>

#include "stat_builders.hpp"
#include "stats/stat0814.hpp"
#include "stats/stat_ldn.hpp"

using namespace statvtk;
using namespace stattest;

namespace {

using Writer = std::span<std::uint8_t> (*)(StatData&, std::size_t, const RecTimed&);

struct TimedModelCase {
  const char* name;
  DeviceType type;
  Writer write;
  ArchiveMap hourly, daily, monthly;
};

std::unique_ptr<StatModel> Make(const StatData& d) { return MakeStatModel(d); }

const TimedModelCase kModels[] = {
    {"VTK0814", DeviceType::dtVTK0814C, Write0814, StatModel0814::kHourly, StatModel0814::kDaily,
     StatModel0814::kMonthly},
    {"LDN08", DeviceType::dtLDN08, WriteLdn, StatModelLdn::kHourly, StatModelLdn::kDaily, StatModelLdn::kMonthly},
};

}  // namespace

class TimedModel : public ::testing::TestWithParam<TimedModelCase> {};

TEST_P(TimedModel, ValidityOfTheDeviceTimeAndChecksum) {
  const auto& c = GetParam();
  struct V {
    std::uint32_t time;
    int sumDelta;
    bool valid;
  };
  const V cases[] = {{946684800u, 0, true},
                     {946684799u, 0, false},
                     {0x9FFFFFFFu, 0, true},
                     {0xA0000000u, 0, false},
                     {Time(2024, 3, 15, 10), -1, false},
                     {Time(2024, 3, 15, 10), 0, true}};
  for (const auto& v : cases) {
    StatData d = StatData::Blank(c.type);
    RecTimed r;
    r.time = v.time;
    r.vplus = 1;
    auto rec = c.write(d, c.hourly.offset, r);  // slot 0: entry 0 whether valid or not
    rec.back() = static_cast<std::uint8_t>(rec.back() + v.sumDelta);
    const auto m = Make(d);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->EntryValid(ArchiveKind::Hourly, 0), v.valid) << c.name << " time " << v.time;
    EXPECT_EQ(m->ChecksumValid(ArchiveKind::Hourly, 0), v.valid || v.sumDelta == 0) << c.name;
  }
}

TEST_P(TimedModel, IndicesInTimeOrderWithEqualTimesInSlotOrder) {
  const auto& c = GetParam();
  StatData d = StatData::Blank(c.type);
  auto slot = [](const ArchiveMap& m, std::size_t i) { return m.offset + m.recordSize * i; };
  // a circular archive: the newest records at the start
  c.write(d, slot(c.hourly, 0), {Time(2024, 3, 16, 1), 300});
  c.write(d, slot(c.hourly, 1), {Time(2024, 3, 16, 2), 400});
  c.write(d, slot(c.hourly, c.hourly.count - 2), {Time(2024, 3, 15, 23), 100});
  c.write(d, slot(c.hourly, c.hourly.count - 1), {Time(2024, 3, 16, 0), 200});
  c.write(d, slot(c.hourly, 5), {Time(2024, 3, 16, 2), 999});  // same hour as slot 1
  c.write(d, slot(c.daily, c.daily.count - 1), {Time(2024, 3, 16), 7});
  c.write(d, slot(c.monthly, c.monthly.count - 1), {Time(2024, 3, 1), 8});
  c.write(d, slot(c.monthly, 0), {Time(2024, 2, 1), 9});
  const auto m = Make(d);
  const auto h = m->Index(ArchiveKind::Hourly);
  ASSERT_EQ(h.size(), c.hourly.count);
  EXPECT_EQ(h[0].Pos, slot(c.hourly, c.hourly.count - 2));
  EXPECT_EQ(h[1].Pos, slot(c.hourly, c.hourly.count - 1));
  EXPECT_EQ(h[2].Pos, slot(c.hourly, 0));
  EXPECT_EQ(h[3].Pos, slot(c.hourly, 1));
  EXPECT_EQ(h[4].Pos, slot(c.hourly, 5));
  EXPECT_EQ(h[5].Key, kInvalidKey);
  EXPECT_EQ(h[5].Pos, slot(c.hourly, 2));
  EXPECT_EQ(h[0].Key, Time(2024, 3, 15, 23));
  EXPECT_EQ(m->Index(ArchiveKind::Daily).size(), c.daily.count);
  EXPECT_EQ(m->Index(ArchiveKind::Daily)[0].Pos, slot(c.daily, c.daily.count - 1));
  const auto mo = m->Index(ArchiveKind::Monthly);
  ASSERT_EQ(mo.size(), c.monthly.count);
  EXPECT_EQ(mo[0].Pos, slot(c.monthly, 0));
  EXPECT_EQ(mo[1].Pos, slot(c.monthly, c.monthly.count - 1));
  EXPECT_TRUE(m->HasArchive(ArchiveKind::Monthly));
  EXPECT_EQ(m->RecordStamp(ArchiveKind::Hourly, 0), 0x24031523u);
}

TEST_P(TimedModel, TotalsIncrementsAndCounters) {
  const auto& c = GetParam();
  StatData d = StatData::Blank(c.type);
  RecTimed a{Time(2024, 3, 15, 10), 10'000'000, 2'000'000, 30'000'000, 4'000'000, {3600, 100, 50, 7}, 20.5f, 1.25f, 0};
  RecTimed b{Time(2024, 3, 15, 11), 12'500'000, 1'500'000, 33'000'000, 4'500'000, {7200, 50, 50, 8}, 21.0f, 2.5f, 0};
  c.write(d, c.hourly.offset + c.hourly.recordSize * 9, b);
  c.write(d, c.hourly.offset + c.hourly.recordSize * 8, a);
  const auto m = Make(d);
  const auto first = m->Decode(ArchiveKind::Hourly, 0);
  EXPECT_DOUBLE_EQ(first.forwardTotal, 10.0);
  // The oldest record has no increment (not its whole total).
  EXPECT_FALSE(first.incrementKnown);
  EXPECT_DOUBLE_EQ(first.forwardIncrement, 0.0);
  EXPECT_DOUBLE_EQ(first.reverseIncrement, 0.0);
  EXPECT_FLOAT_EQ(first.counterIncrements[0], 0.0f);
  for (const auto& v : first.values) {
    if (v.increment) {
      EXPECT_DOUBLE_EQ(v.value, 0.0) << v.name;
    }
  }
  const auto r = m->Decode(ArchiveKind::Hourly, 1);
  EXPECT_TRUE(r.incrementKnown);
  EXPECT_EQ(r.stamp, 0x24031511u);
  EXPECT_EQ(r.hour, 11);
  EXPECT_DOUBLE_EQ(r.forwardTotal, 12.5);
  EXPECT_DOUBLE_EQ(r.forwardIncrement, 2.5);
  EXPECT_DOUBLE_EQ(r.reverseTotal, 1.5);
  EXPECT_DOUBLE_EQ(r.reverseIncrement, -0.5);
  EXPECT_EQ(r.counters[0], 7200u);
  EXPECT_FLOAT_EQ(r.counterIncrements[0], 3600.0f);
  EXPECT_FLOAT_EQ(r.counterIncrements[1], static_cast<float>(4294967246u));  // 50 - 100 wraps
  EXPECT_DOUBLE_EQ(r.counterDivisor, 3600);
  EXPECT_EQ(r.statusText, "Норма");
  if (c.type == DeviceType::dtLDN08) {
    ASSERT_EQ(r.values.size(), 6u);
    EXPECT_DOUBLE_EQ(r.values[0].value, 12.5);
    EXPECT_DOUBLE_EQ(r.values[1].value, 2.5);
    EXPECT_DOUBLE_EQ(r.values[2].value, 1.5);
    EXPECT_DOUBLE_EQ(r.values[3].value, -0.5);
    EXPECT_DOUBLE_EQ(r.values[4].value, 21.0);
    EXPECT_DOUBLE_EQ(r.values[5].value, 2.5);
  } else {
    // the report's order: V+, ΔV+, M+, ΔM+, V-, ΔV-, M-, ΔM-, temperature
    const std::array<double, 9> expected = {12.5, 2.5, 33.0, 3.0, 1.5, -0.5, 4.5, 0.5, 21.0};
    ASSERT_EQ(r.values.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(r.values[i].value, expected[i]) << "value " << i;
    EXPECT_DOUBLE_EQ(r.extraValue, 2.5);
  }
}

INSTANTIATE_TEST_SUITE_P(Models, TimedModel, ::testing::ValuesIn(kModels),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Model0814, StatusTextJoinsFlagNames) {
  StatData d = StatData::Blank(DeviceType::dtVTK0814CM);
  Write0814(d, 0, {Time(2024, 3, 15, 10), 0, 0, 0, 0, {}, 0, 0, 0x0041});
  Write0814(d, 64, {Time(2024, 3, 15, 11), 0, 0, 0, 0, {}, 0, 0, 0x0036});
  const auto m = MakeStatModel(d);
  EXPECT_EQ(m->Decode(ArchiveKind::Hourly, 0).statusText, "Возб Пит");
  EXPECT_EQ(m->Decode(ArchiveKind::Hourly, 1).statusText, "ПТ ТСП Gmax Рев");
}

TEST(Model0814, DeviceInformationAndOptionFlag) {
  struct Case {
    DeviceType type;
    std::uint8_t code;
    double dn, flow;
  };
  const Case cases[] = {{DeviceType::dtVTK0814C, 3, 50, 60},
                        {DeviceType::dtVTK0814CM, 3, 40, 40},
                        {DeviceType::dtVTK0814C, 7, 0, 0},
                        {DeviceType::dtVTK0814CM, 7, 150, 630}};
  for (const auto& c : cases) {
    StatData d = StatData::Blank(c.type);
    auto h = std::span<std::uint8_t>(d.header);
    std::copy_n("SN000042", 8, h.begin() + 512);
    h[520] = c.code;
    h[542] = 50;
    PutFloatBE(h.subspan(544), 0.25f);
    PutBE(h.subspan(553), 400, 4);
    PutBE(h.subspan(557), 100, 4);
    PutFloatBE(h.subspan(180), 3.5f);
    PutBE(h.subspan(832), 1234, 4);
    PutFloatBE(h.subspan(836), 0.5f);
    PutBE(h.subspan(888), 7, 4);
    PutFloatBE(h.subspan(892), 0.25f);
    const auto m = MakeStatModel(d);
    const auto info = m->GetDeviceInfo();
    EXPECT_DOUBLE_EQ(info.nominalSize, c.dn);
    EXPECT_DOUBLE_EQ(info.fmax, 1000.0);
    EXPECT_DOUBLE_EQ(info.gmax, c.flow);
    EXPECT_DOUBLE_EQ(info.gmin, 400 * c.flow / 10000);
    // values 1..5 = Kv, Fmax, DN, Gmin, Gmax
    EXPECT_DOUBLE_EQ(info.Value(1), 0.25);
    EXPECT_DOUBLE_EQ(info.Value(2), 1000.0);
    EXPECT_DOUBLE_EQ(info.Value(3), c.dn);
    EXPECT_DOUBLE_EQ(info.Value(5), c.flow);
    EXPECT_EQ(info.serial, "SN000042");
    EXPECT_FALSE(info.optionNoT);
    EXPECT_EQ(m->ReportTemplateName(), "VTK0814");
    const auto rows = m->CurrentRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].value, "3.5000");
    EXPECT_EQ(rows[1].value, "1234.5000");
    EXPECT_EQ(rows[2].value, "7.2500");
    d.header[548] = 0x01;
    const auto noT = MakeStatModel(d);
    EXPECT_TRUE(noT->GetDeviceInfo().optionNoT);
    EXPECT_EQ(noT->ReportTemplateName(), "VTK0814_no_T");
    EXPECT_EQ(noT->ReportModelName(), "VTK-08.14");
  }
}

TEST(Model0814, EventRows) {
  StatData d = StatData::Blank(DeviceType::dtVTK0814C);
  auto put = [&](std::size_t i, std::uint32_t time, std::uint16_t bits) {
    auto rec = std::span<std::uint8_t>(d.area).subspan(StatModel0814::kEventOffset + 16 * i, 16);
    PutBE(rec, time, 4);
    PutBE(rec.subspan(4), bits, 2);
    FixSum(rec);
    return rec;
  };
  put(0, Time(2024, 3, 16, 8, 30, 5), 0x0001);
  put(351, Time(2024, 3, 15, 23, 0, 0), 0x0842);  // Выкл., Возб., Рев.
  auto bad = put(5, Time(2024, 3, 15), 1);
  bad[15] ^= 0x10;
  put(6, 12345, 1);  // time outside the valid range
  const auto m = MakeStatModel(d);
  const auto t = m->Events();
  ASSERT_EQ(t.headings.size(), 14u);
  EXPECT_EQ(t.headings[7], "Врем. инт.");
  ASSERT_EQ(t.rows.size(), 2u);
  const std::vector<std::string> first = {
      "1", "15.03.24 23:00:00", "-", "+", "-", "-", "-", "-", "!", "-", "-", "-", "-", "!"};
  EXPECT_EQ(t.rows[0], first);
  EXPECT_EQ(t.rows[1][1], "16.03.24 08:30:05");
  EXPECT_EQ(t.rows[1][2], "+");
  EXPECT_EQ(t.rows[1][8], "-");
}

TEST(ModelLdn, DeviceInformationCurrentRowsAndClock) {
  StatData d = StatData::Blank(DeviceType::dtLDN08);
  auto h = std::span<std::uint8_t>(d.header);
  PutLE(h, 1234567, 4);
  h[4] = 4;  // DN 50, 63 m³/h
  h[5] = 25;
  PutFloatLE(h.subspan(8), 10.0f);
  PutLE(h.subspan(12), 100, 4);
  PutLE(h.subspan(16), 150, 4);
  std::copy_n("v1.20", 5, h.begin() + 20);
  PutLE(h.subspan(512), 100, 4);
  PutFloatLE(h.subspan(516), 0.75f);
  PutLE(h.subspan(520), 2, 4);
  PutFloatLE(h.subspan(524), 0.5f);
  PutFloatLE(h.subspan(528), 4.25f);
  const std::uint8_t clock[6] = {7, 30, 14, 15, 3, 24};
  std::copy(clock, clock + 6, h.begin() + 552);
  WriteLdn(d, StatModelLdn::kHourly.offset, {Time(2024, 3, 15, 13)});
  WriteLdn(d, StatModelLdn::kHourly.offset + 68, {Time(2024, 3, 15, 12)});
  WriteLdn(d, StatModelLdn::kDaily.offset + 68 * 10, {Time(2024, 3, 14)});
  const auto m = MakeStatModel(d);
  const auto info = m->GetDeviceInfo();
  EXPECT_EQ(info.serial, "1234567");
  EXPECT_EQ(m->SerialText(), "1234567");
  EXPECT_EQ(info.firmware, "v1.20");
  // values 1..4 = Kv, DN, Gmin, Gmax
  EXPECT_DOUBLE_EQ(info.Value(1), 10.0);
  EXPECT_DOUBLE_EQ(info.Value(2), 50.0);
  EXPECT_DOUBLE_EQ(info.Value(3), 100 * 63.0 / 10000);
  EXPECT_DOUBLE_EQ(info.Value(4), 150 * 63.0 / 100);
  EXPECT_DOUBLE_EQ(info.fmax, 500.0);
  EXPECT_EQ(m->DeviceClockStamp(), 0x24031514u);
  const auto rows = m->CurrentRows();
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0].value, "4.2500");
  EXPECT_EQ(rows[1].value, "100.7500");
  EXPECT_EQ(rows[2].value, "2.5000");
  EXPECT_EQ(rows[3].name, "Час.");
  EXPECT_EQ(rows[3].value, "15.03.24 13:00");
  EXPECT_EQ(rows[4].name, "Сут.");
  EXPECT_EQ(rows[4].value, "14.03.24");
  EXPECT_EQ(rows[5].name, "Мес.");
  EXPECT_EQ(rows[5].value, "-");
  EXPECT_EQ(m->ReportTemplateName(), "LDN");
}

TEST(ModelLdn, StatusTextAndEventRows) {
  StatData d = StatData::Blank(DeviceType::dtLDN08);
  WriteLdn(d, 0, {Time(2024, 3, 15, 13), 0, 0, 0, 0, {}, 0, 0, 0xA9});
  auto put = [&](std::size_t i, std::uint32_t time, std::uint16_t bits, float batt) {
    auto rec = std::span<std::uint8_t>(d.area).subspan(StatModelLdn::kEventOffset + 64 * i, 64);
    PutLE(rec, time, 4);
    PutLE(rec.subspan(4), bits, 2);
    PutFloatLE(rec.subspan(6), batt);
    FixSum(rec);
  };
  put(3, Time(2024, 3, 15, 9, 1, 2), 0x0121, 3.6f);  // Вкл., Gmin, ПТ
  put(127, Time(2024, 3, 14), 0x0002, 3.5f);
  const auto m = MakeStatModel(d);
  EXPECT_EQ(m->Decode(ArchiveKind::Hourly, 0).statusText, "ТСП ПТ Gmax Реверс");
  const auto t = m->Events();
  ASSERT_EQ(t.headings.size(), 12u);
  EXPECT_EQ(t.headings[2], "V batt");
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows[0][1], "14.03.24 00:00:00");
  EXPECT_EQ(t.rows[0][4], "+");  // Выкл.
  const std::vector<std::string> second = {"2", "15.03.24 09:01:02", "3.600", "+", "-", "-", "-", "-", "!", "-", "-",
                                           "!"};
  EXPECT_EQ(t.rows[1], second);
}

TEST(MakeStatModel, RefusesUnknownTypeAndWrongSizes) {
  EXPECT_FALSE(MakeStatModel(StatData{}));
  StatData d = StatData::Blank(DeviceType::dtLDN08);
  d.area.pop_back();
  EXPECT_FALSE(MakeStatModel(d));
  d = StatData::Blank(DeviceType::dtVTK0812);
  d.header.push_back(0);
  EXPECT_FALSE(MakeStatModel(d));
}
