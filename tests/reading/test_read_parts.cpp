// The pure parts of the reading engine: walks, texts, current readings, read choice.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/temp_folder.hpp"
#include "job_fixture.hpp"
#include "base/ini_file.hpp"
#include "reading/current_readings.hpp"
#include "reading/read_choice.hpp"
#include "reading/read_maps.hpp"
#include "reading/read_text.hpp"

namespace statvtk::test {
namespace {

TEST(ReadMaps, HourlyPointerZeroContinuesAtTheAreasEnd) {
  EXPECT_EQ(BackwardWalk(kVtk0814Hourly, 0, 3), (std::vector<std::uint32_t>{0, 92096, 92032}));
  EXPECT_EQ(BackwardWalk(kVtk0814Daily, 92160, 2), (std::vector<std::uint32_t>{92160, 117696}));
  EXPECT_EQ(BackwardWalk(kLdnMonthly, 262144 + 68, 3), (std::vector<std::uint32_t>{262212, 262144, 264524}));
}

TEST(ReadMaps, PointersOutsideTheAreaNeverLeadOutsideIt) {
  for (std::uint32_t p : {0xFFFFFFu, 92160u + 64u * 400u, 5u, 92161u}) {
    for (auto a : BackwardWalk(kVtk0814Daily, p, 500)) {
      EXPECT_GE(a, kVtk0814Daily.first);
      EXPECT_LE(a, kVtk0814Daily.Last());
      EXPECT_EQ((a - kVtk0814Daily.first) % 64, 0u);
    }
  }
  EXPECT_EQ(BackwardWalk(kVtk0814Daily, 92161, 1)[0], 92160u);
  EXPECT_EQ(BackwardWalk(kVtk0814Hourly, 0, 5000).size(), 1440u);
}

TEST(ReadText, IdentificationSubstringsInTheirOrder) {
  struct Case {
    const char* text;
    DeviceType type;
  } cases[] = {{"VTK-612 v3.07 #1", DeviceType::dtVTK0812},
               {"xxVTK0814-CM ver", DeviceType::dtVTK0814CM},
               {"VTK0814-C ver.2.11", DeviceType::dtVTK0814C},
               {"fw LDN-08 1.20", DeviceType::dtLDN08},
               {"", DeviceType::dtUnknown},
               {"VTK0814", DeviceType::dtUnknown}};
  for (const auto& c : cases) EXPECT_EQ(TypeOfIdentText(c.text), c.type) << c.text;
}

TEST(ReadText, ElapsedAndSerialTexts) {
  EXPECT_EQ(ElapsedText(0), "00:00)");
  EXPECT_EQ(ElapsedText(125), "02:05)");
  EXPECT_EQ(ElapsedText(3725), "62:05)");
  std::vector<std::uint8_t> h(1024);
  std::memcpy(&h[512],
              "1234\0\0"
              "78",
              8);
  EXPECT_EQ(DownloadSerialText(DeviceType::dtVTK0814C, h), "1234##78");
  EXPECT_EQ(CurrentSerialText(DeviceType::dtVTK0814C, h), "1234");
  std::vector<std::uint8_t> l(2048);
  l[0] = 0x4E, l[1] = 0x61, l[2] = 0xBC;  // 12345678 LE
  EXPECT_EQ(DownloadSerialText(DeviceType::dtLDN08, l), "12345678");
}

// --- current readings ---

using Block = std::array<std::uint8_t, 1024>;

void PutBe(Block& b, std::size_t at, std::uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i, v >>= 8) b[at + i] = static_cast<std::uint8_t>(v);
}
void PutBeFloat(Block& b, std::size_t at, float f) { PutBe(b, at, std::bit_cast<std::uint32_t>(f), 4); }
void PutLe(Block& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i, v >>= 8) b[at + i] = static_cast<std::uint8_t>(v);
}
void PutLeFloat(Block& b, std::size_t at, float f) { PutLe(b, at, std::bit_cast<std::uint32_t>(f)); }

std::string Text(const CurrentView& v, const char* name) {
  const auto* l = v.Find(name);
  return l ? l->text : "<none>";
}

TEST(CurrentReadings, Vtk0812) {
  Block b{};
  PutBeFloat(b, 436, 12.5f);
  b[6] = 0x24, b[5] = 0x03, b[4] = 0x15, b[2] = 0x14, b[1] = 0x05, b[0] = 0x09;
  PutBe(b, 16, 123456789012ull, 6);
  PutBe(b, 22, 1500000ull, 6);
  PutBe(b, 28, 1234567, 3);
  const CurrentView v = UpdateData(b, DeviceType::dtVTK0812);
  EXPECT_EQ(v.groupCaption, "Текущий массовый расход");
  EXPECT_EQ(Text(v, "LabelG"), "12.5000 м3/ч");
  EXPECT_EQ(Text(v, "Label_Curr_Time"), "2024.03.15     14:05:09");
  EXPECT_EQ(Text(v, "LabelVp"), "123456.7890 м3");
  EXPECT_EQ(Text(v, "LabelVm"), "1.5000 м3");
  EXPECT_EQ(Text(v, "LabelTime"), "12345.7 ч");
  EXPECT_EQ(v.Find("LabelM"), nullptr);
}

struct ScaleCase {
  DeviceType type;
  std::uint8_t index;
  const char* vp;
};

class Vtk0814Scale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(Vtk0814Scale, IntegratorDigitsFollowTheScale) {
  const auto c = GetParam();
  Block b{};
  b[520] = c.index;
  PutBe(b, 832, 1234, 4);
  PutBeFloat(b, 836, 0.56789f);
  EXPECT_EQ(Text(UpdateData(b, c.type), "LabelVp"), c.vp);
}

INSTANTIATE_TEST_SUITE_P(Scales, Vtk0814Scale,
                         ::testing::Values(ScaleCase{DeviceType::dtVTK0814CM, 0, "1234.567 м3"},  // 6.3: three digits
                                           ScaleCase{DeviceType::dtVTK0814C, 0, "1234.567 м3"},   // 6
                                           ScaleCase{DeviceType::dtVTK0814C, 1, "1234.56 м3"},    // 16
                                           ScaleCase{DeviceType::dtVTK0814C, 4, "1234.5 м3"},     // 160
                                           ScaleCase{DeviceType::dtVTK0814CM, 7, "1234.5 м3"},    // 630
                                           ScaleCase{DeviceType::dtVTK0814C, 7,
                                                     "1234.5 м3"},  // beyond: the last entry, 600
                                           ScaleCase{DeviceType::dtVTK0814CM, 255, "1234.5 м3"}));

TEST(CurrentReadings, Vtk0814AllLabels) {
  Block b{};
  PutBeFloat(b, 436, 99.0f);
  PutBeFloat(b, 180, 3.25f);
  PutBeFloat(b, 268, 2.5f);
  PutBeFloat(b, 264, 21.375f);
  PutBe(b, 856, 36000 + 359, 4);  // 10.0 h (truncated)
  b[520] = 2;                     // 30: two digits
  PutBe(b, 832, 100, 4), PutBeFloat(b, 836, 0.5f);
  PutBe(b, 888, 7, 4), PutBeFloat(b, 892, 0.05f);
  PutBe(b, 840, 90, 4), PutBeFloat(b, 844, 0.25f);
  PutBe(b, 896, 3, 4), PutBeFloat(b, 900, 0.0f);
  PutBe(b, 904, 40, 4), PutBeFloat(b, 908, 0.25f);
  b[352] = 0x02 | 0x08 | 0x40;
  const CurrentView v = UpdateData(b, DeviceType::dtVTK0814C);
  EXPECT_EQ(Text(v, "LabelG"), "3.2500 м3/ч");
  EXPECT_EQ(Text(v, "LabelM"), "2.5000 т/ч");
  EXPECT_EQ(Text(v, "LabelT"), "21.38 C");
  EXPECT_EQ(Text(v, "LabelTime"), "10.0 ч");
  EXPECT_EQ(Text(v, "LabelVp"), "100.50 м3");
  EXPECT_EQ(Text(v, "LabelVm"), "7.05 м3");
  EXPECT_EQ(Text(v, "LabelMp"), "90.25 т");
  EXPECT_EQ(Text(v, "LabelMm"), "3.00 т");
  EXPECT_EQ(Text(v, "LabelVp_"), "60.2500 м3");
  EXPECT_EQ(Text(v, "LabelVm_"), "7.0500 м3");
  EXPECT_EQ(Text(v, "Label_Errors"), "Возб ТСП Gmax ");
  b[352] = 1;
  EXPECT_EQ(Text(UpdateData(b, DeviceType::dtVTK0814C), "Label_Errors"), "Система в норме");
}

TEST(CurrentReadings, DamagedFractionsStayInsideTheirDigits) {
  Block b{};
  PutBe(b, 832, 5, 4);
  for (float f : {std::numeric_limits<float>::quiet_NaN(), -0.5f, 7.0f, std::numeric_limits<float>::infinity()}) {
    PutBeFloat(b, 836, f);
    const std::string t = Text(UpdateData(b, DeviceType::dtVTK0814CM), "LabelVp");
    EXPECT_TRUE(t == "5.000 м3" || t == "5.999 м3") << t;
  }
}

TEST(CurrentReadings, Ldn08) {
  Block b{};
  constexpr std::size_t R = 512;
  PutLe(b, R + 0, 1000), PutLeFloat(b, R + 4, 0.25f);
  PutLe(b, R + 8, 2), PutLeFloat(b, R + 12, 0.5f);
  PutLeFloat(b, R + 16, 4.5f);
  PutLe(b, R + 24, 7200);
  b[R + 40] = 9, b[R + 41] = 5, b[R + 42] = 14, b[R + 43] = 15, b[R + 44] = 3, b[R + 45] = 24;
  PutLeFloat(b, R + 48, 3.6f);
  b[R + 52] = 0x80;
  const CurrentView v = UpdateData(b, DeviceType::dtLDN08);
  EXPECT_EQ(v.groupCaption, "Напряжение питания");
  EXPECT_EQ(Text(v, "LabelG"), "4.5000 м3/ч");
  EXPECT_EQ(Text(v, "LabelTime"), "2.0 ч");
  EXPECT_EQ(Text(v, "LabelM"), "3.600 В");
  EXPECT_EQ(Text(v, "LabelVp"), "1000.2500 м3");
  EXPECT_EQ(Text(v, "LabelVm"), "2.5000 м3");
  EXPECT_EQ(Text(v, "Label_Curr_Time"), "14:05:09  15.03.24");
  EXPECT_EQ(Text(v, "Label_Errors"), "Система в норме");
  b[R + 52] = 0x81 | 0x04 | 0x20;
  EXPECT_EQ(Text(UpdateData(b, DeviceType::dtLDN08), "Label_Errors"), "ТСП  Воздух  Gmax  Реверс  ");
}

// --- read choice ---

class ReadChoiceFile : public ::testing::Test {
 protected:
  IniFile Write(const std::string& text) {
    std::ofstream(dir_ / "StatVTK.ini") << text;
    return IniFile(dir_ / "StatVTK.ini");
  }
  link_test::TempFolder folder_;
  std::filesystem::path dir_ = folder_.Path();
};

TEST_F(ReadChoiceFile, LoadRules) {
  struct Case {
    const char* text;
    bool all, last, h, d, m, e;
  } cases[] = {
      {"", true, false, false, false, false, false},
      {"[SelectStatSettings]\nRadioButton=1\nRecType=5\n", false, true, true, false, true, false},
      {"[SelectStatSettings]\nRadioButton=2\nRecType=15\n", false, false, true, true, true, true},
      {"[SelectStatSettings]\nRadioButton=0\nRecType=2\n", true, false, false, true, false, false},
      {"[SelectStatSettings]\nRadioButton=x\nRecType=junk\n", true, false, false, false, false, false},
  };
  for (const auto& c : cases) {
    const SelectStatState s = LoadSelectStat(Write(c.text));
    EXPECT_EQ(s.all, c.all) << c.text;
    EXPECT_EQ(s.last, c.last) << c.text;
    EXPECT_EQ(s.kinds.hourly, c.h) << c.text;
    EXPECT_EQ(s.kinds.daily, c.d) << c.text;
    EXPECT_EQ(s.kinds.monthly, c.m) << c.text;
    EXPECT_EQ(s.kinds.events, c.e) << c.text;
  }
}

TEST_F(ReadChoiceFile, WritesAndBits) {
  IniFile ini = Write("");
  ASSERT_TRUE(StoreRecType(ini, {true, false, false, true}));
  ASSERT_TRUE(StoreRadioButton(ini, true));
  IniFile again(dir_ / "StatVTK.ini");
  EXPECT_EQ(again.ReadInteger("SelectStatSettings", "RecType", -1), 9);
  EXPECT_EQ(again.ReadInteger("SelectStatSettings", "RadioButton", -1), 1);
  EXPECT_EQ(RecTypeBits(RecordKindsOfBits(13)), 13);
}

TEST(ReadChoice, CountsPlusOneOnlyWhenNotZeroAndKeptWhenNotLast) {
  ReadChoice c;
  c.Accept({false, true, {true, true, false, false}}, 24, 0);
  const StatisticsPlan plan = PlanOfChoice(c);
  EXPECT_EQ(plan.range, RecordRange::Last);
  EXPECT_EQ(plan.lastHours, 25);
  EXPECT_EQ(plan.lastDays, 0);  // a count of 0 is not passed: one record is read
  c.Accept({true, false, {}}, 100, 100);
  EXPECT_EQ(c.hours, 24);  // kept from the last accepted "Последних"
  EXPECT_TRUE(c.readAll);
}

}  // namespace
}  // namespace statvtk::test
