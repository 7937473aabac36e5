// Statistics files: exact sizes, extensions, saving and reading back, the
// names downloads take and the series of names within one minute. (Failed
// writes are the atomic writer's, tested with the settings file.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "support/temp_folder.hpp"
#include "support/result_util.hpp"
#include "stat_builders.hpp"
#include "stats/stat_file.hpp"
#include "stats/stat_window.hpp"

using namespace statvtk;
using namespace stattest;
namespace fs = std::filesystem;

namespace {

// A name of another extension: left alone, with nothing to tell.
bool Ignored(const Result<StatData>& r) { return !r && r.error().code == ErrorCode::NotStatFile; }

using TempDir = link_test::TempFolder;

void WriteBytes(const fs::path& p, std::size_t n, std::uint8_t fill = 0) {
  std::ofstream f(p, std::ios::binary);
  const std::vector<char> bytes(n, static_cast<char>(fill));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

StatData Random(DeviceType t, unsigned seed) {
  StatData d = StatData::Blank(t);
  std::mt19937 rng(seed);
  for (auto& b : d.area) b = static_cast<std::uint8_t>(rng());
  for (auto& b : d.header) b = static_cast<std::uint8_t>(rng());
  return d;
}

// An image of each model with records in every archive.
StatData Filled(DeviceType t) {
  StatData d = Random(t, 7);
  if (t == DeviceType::dtVTK0812) {
    for (std::uint8_t h = 0; h < 24; ++h)
      Write0812(d, HourSlot0812(h), {IntToBcd(h), 0x15, 0x03, 0x24, 1000000ull * h, 10ull * h, {h, 2, 3, 4}, h});
    Write0812(d, DaySlot0812(3), {0x00, 0x15, 0x03, 0x24, 77000000});
  } else {
    const bool ldn = t == DeviceType::dtLDN08;
    auto write = ldn ? WriteLdn : Write0814;
    const std::size_t size = ldn ? 68 : 64;
    const std::size_t daily = ldn ? 196608 : 92160, monthly = ldn ? 262144 : 117760;
    for (std::uint32_t h = 0; h < 24; ++h)
      write(d, h * size, {Time(2024, 3, 15, static_cast<int>(h)), 1000000ull * h, 5, 7, 9, {h * 3600, 0, 0, 0}});
    write(d, daily, {Time(2024, 3, 15), 42000000});
    write(d, monthly, {Time(2024, 3, 1), 43000000});
  }
  return d;
}

}  // namespace

struct SizeCase {
  const char* name;
  const char* ext;
  std::size_t size;
  bool accepted;
};

class LoadSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(LoadSize, ExactSizeOnly) {
  const auto& c = GetParam();
  TempDir dir;
  const fs::path p = dir.Path() / (std::string("file") + c.ext);
  WriteBytes(p, c.size);
  const Result<StatData> r = LoadStatFile(p, ExtensionRule::Exact);
  EXPECT_FALSE(Ignored(r));
  EXPECT_EQ(r.has_value(), c.accepted) << c.name;
  EXPECT_EQ(ReasonOf(r), c.accepted ? "" : "Ошибка - файл " + p.string() + " имеет неверный размер.");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadSize,
    ::testing::Values(SizeCase{"vst_exact", ".vst", 66560, true}, SizeCase{"vst_short", ".vst", 66559, false},
                      SizeCase{"vst_long", ".vst", 66561, false}, SizeCase{"vst_empty", ".vst", 0, false},
                      SizeCase{"v814_exact", ".814", 263168, true}, SizeCase{"v814_short", ".814", 263167, false},
                      SizeCase{"v814_long", ".814", 263169, false}, SizeCase{"ldn_exact", ".ldn", 526336, true},
                      SizeCase{"ldn_short", ".ldn", 526335, false}, SizeCase{"ldn_long", ".ldn", 526337, false},
                      SizeCase{"ldn_of_814_size", ".ldn", 263168, false},
                      SizeCase{"vst_of_814_size", ".vst", 263168, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadStatFile, MessagesNameTheFile) {
  TempDir dir;
  const fs::path p = dir.Path() / "a.vst";
  WriteBytes(p, 10);
  EXPECT_EQ(ReasonOf(LoadStatFile(p, ExtensionRule::LowerCase, "C:\\x\\a.vst")),
            "Ошибка - файл C:\\x\\a.vst имеет неверный размер.");
  const auto missing = LoadStatFile(dir.Path() / "none.vst", ExtensionRule::Exact);
  EXPECT_FALSE(missing);
  EXPECT_NE(ReasonOf(missing).find("none.vst"), std::string::npos);
}

TEST(LoadStatFile, ExtensionRules) {
  struct Case {
    const char* file;
    ExtensionRule rule;
    DeviceType type;
  };
  const Case cases[] = {
      {"a.vst", ExtensionRule::Exact, DeviceType::dtVTK0812},
      {"a.VST", ExtensionRule::Exact, DeviceType::dtUnknown},
      {"a.VST", ExtensionRule::LowerCase, DeviceType::dtVTK0812},
      {"a.814", ExtensionRule::Exact, DeviceType::dtVTK0814C},
      {"a.LDN", ExtensionRule::Exact, DeviceType::dtUnknown},
      {"a.Ldn", ExtensionRule::LowerCase, DeviceType::dtLDN08},
      {"a.txt", ExtensionRule::LowerCase, DeviceType::dtUnknown},
      {"vst", ExtensionRule::LowerCase, DeviceType::dtUnknown},
  };
  TempDir dir;
  for (const auto& c : cases) {
    EXPECT_EQ(TypeOfFileName(c.file, c.rule), c.type) << c.file;
    const fs::path p = dir.Path() / c.file;
    WriteBytes(p, c.type == DeviceType::dtUnknown ? 66560 : FileSize(c.type));
    const auto r = LoadStatFile(p, c.rule);
    EXPECT_EQ(Ignored(r), c.type == DeviceType::dtUnknown) << c.file;
    EXPECT_EQ(r.has_value(), c.type != DeviceType::dtUnknown) << c.file;
    if (Ignored(r)) {
      EXPECT_TRUE(ReasonOf(r).empty());
    }
  }
}

TEST(StatFile, SaveThenOpenIsByteIdenticalWithTheSameListsAndValues) {
  TempDir dir;
  for (auto t : {DeviceType::dtVTK0812, DeviceType::dtVTK0814CM, DeviceType::dtLDN08}) {
    const StatData d = Filled(t);
    const fs::path p = dir.Path() / (std::string("saved") + std::string(FileExtension(t)));
    std::string error;
    ASSERT_TRUE(Unpack(SaveStatFile(p, d), &error)) << error;
    const auto bytes = ReadBytes(p);
    ASSERT_EQ(bytes.size(), FileSize(t));
    EXPECT_TRUE(std::equal(d.area.begin(), d.area.end(), bytes.begin()));
    EXPECT_TRUE(
        std::equal(d.header.begin(), d.header.end(), bytes.begin() + static_cast<std::ptrdiff_t>(d.area.size())));
    const auto r = LoadStatFile(p, ExtensionRule::Exact);
    ASSERT_TRUE(r) << ReasonOf(r);
    EXPECT_EQ(r->area, d.area);
    EXPECT_EQ(r->header, d.header);
    StatWindowModel before(MakeStatModel(d), CalendarDate{2024, 1, 1});
    StatWindowModel after(MakeStatModel(*r), CalendarDate{2024, 1, 1});
    for (auto mode : {StatMode::Hourly, StatMode::Daily, StatMode::Monthly}) {
      before.SetMode(mode);
      after.SetMode(mode);
      ASSERT_FALSE(before.Items().empty());
      ASSERT_EQ(before.Items().size(), after.Items().size());
      for (std::size_t i = 0; i < before.Items().size(); ++i) EXPECT_EQ(before.Items()[i].text, after.Items()[i].text);
    }
    for (auto kind : {ArchiveKind::Hourly, ArchiveKind::Daily}) {
      for (std::size_t i = 0; i < 30; ++i) {
        const auto a = before.Model().Decode(kind, i), b = after.Model().Decode(kind, i);
        EXPECT_EQ(a.stamp, b.stamp);
        EXPECT_EQ(a.forwardTotal, b.forwardTotal);
        EXPECT_EQ(a.forwardIncrement, b.forwardIncrement);
        EXPECT_EQ(a.counterIncrements, b.counterIncrements);
      }
    }
    EXPECT_DOUBLE_EQ(before.Model().Decode(ArchiveKind::Hourly, 5).forwardIncrement, 1.0);
  }
}

TEST(StatFile, MissingFolderAndWrongSizesFail) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(Unpack(SaveStatFile(dir.Path() / "no" / "x.vst", Filled(DeviceType::dtVTK0812)), &error));
  EXPECT_NE(error.find("x.vst"), std::string::npos);
  StatData bad = StatData::Blank(DeviceType::dtVTK0812);
  bad.area.pop_back();
  error.clear();
  EXPECT_FALSE(Unpack(SaveStatFile(dir.Path() / "y.vst", bad), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(dir.Path() / "y.vst"));
}

TEST(StatFile, DownloadNamesAndTheDataFolder) {
  StatData d = StatData::Blank(DeviceType::dtVTK0812);
  std::copy_n("1234", 4, d.header.begin() + 512);
  EXPECT_EQ(StatSerialText(d), "1234####");
  StatData l = StatData::Blank(DeviceType::dtLDN08);
  PutLE(l.header, 4000000000u, 4);
  EXPECT_EQ(StatSerialText(l), "4000000000");
  TempDir dir;
  fs::path written;
  std::string error;
  ASSERT_TRUE(Unpack(SaveDownloadedStatFile(dir.Path() / "Data", d, 2024, 3, 5, 9, 7), &written, &error)) << error;
  EXPECT_EQ(written, dir.Path() / "Data" / "1234####-2024-03-05@09-07.vst");
  EXPECT_EQ(fs::file_size(written), 66560u);
}

TEST(StatFile, LaterDownloadsOfAMinuteTakeTheNextNamesAndSortAfterTheFirst) {
  const std::string first = DownloadFileName("00012345", DeviceType::dtVTK0812, 2024, 3, 5, 9, 7);
  const std::string second = DownloadFileName("00012345", DeviceType::dtVTK0812, 2024, 3, 5, 9, 7, 2);
  const std::string tenth = DownloadFileName("00012345", DeviceType::dtVTK0812, 2024, 3, 5, 9, 7, 10);
  const std::string nextMinute = DownloadFileName("00012345", DeviceType::dtVTK0812, 2024, 3, 5, 9, 8);
  // Byte order and order without the extension alike.
  for (const std::string& later : {second, tenth}) {
    EXPECT_LT(first, later);
    EXPECT_LT(later, nextMinute);
    EXPECT_LT(fs::path(first).stem().string(), fs::path(later).stem().string());
  }

  TempDir dir;
  StatData a = Filled(DeviceType::dtVTK0812);
  StatData b = StatData::Blank(DeviceType::dtVTK0812);
  b.header = a.header;  // the same serial number, another image
  fs::path one, two, three;
  std::string error;
  ASSERT_TRUE(Unpack(SaveDownloadedStatFile(dir.Path(), a, 2024, 3, 5, 9, 7), &one, &error)) << error;
  const auto firstBytes = ReadBytes(one);
  ASSERT_TRUE(Unpack(SaveDownloadedStatFile(dir.Path(), b, 2024, 3, 5, 9, 7), &two, &error)) << error;
  ASSERT_TRUE(Unpack(SaveDownloadedStatFile(dir.Path(), b, 2024, 3, 5, 9, 7), &three, &error)) << error;
  EXPECT_EQ(two.filename().string(), DownloadFileName(StatSerialText(a), DeviceType::dtVTK0812, 2024, 3, 5, 9, 7, 2));
  EXPECT_EQ(three.filename().string(), DownloadFileName(StatSerialText(a), DeviceType::dtVTK0812, 2024, 3, 5, 9, 7, 3));
  EXPECT_EQ(ReadBytes(one), firstBytes);  // the first download is never replaced
  std::vector<std::uint8_t> blank(b.area);
  blank.insert(blank.end(), b.header.begin(), b.header.end());
  EXPECT_EQ(ReadBytes(two), blank);
}

TEST(StatFile, SeriesNamesInAnotherFolder) {
  const fs::path folder = "/x/out";
  struct Case {
    const char* name;
    const char* second;
  } cases[] = {{"12-2024-03-05@09-07.vst", "12-2024-03-05@09-07_2.vst"},
               {"12-2024-03-05@09-07_4.vst", "12-2024-03-05@09-07_2.vst"},
               {"my_file.814", "my_file_2.814"},
               {"a_b-2024-01-01@00-00.ldn", "a_b-2024-01-01@00-00_2.ldn"}};
  for (const Case& c : cases) {
    const CandidateName names = SeriesNames(folder, c.name);
    EXPECT_EQ(names(2), folder / c.second) << c.name;
  }
  EXPECT_EQ(SeriesNames(folder, "12-2024-03-05@09-07_4.vst")(1), folder / "12-2024-03-05@09-07.vst");
}
