// Where the store's records go in the next read's base (a wrong place would
// make the file differ from a full read's), and which old logs go.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "collect/collect_log.hpp"
#include "collect/store_image.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::collect {
namespace {

TEST(StoreImage, RecordsAreLaidBackFromThePointerPeriodByPeriod) {
  const std::vector<StoredRecord> newestFirst{
      {"2026-01-01 10:00", {10, 10}}, {"2026-01-01 09:00", {9, 9}}, {"2026-01-01 07:00", {7, 7}}};
  struct Case {
    const char* what;
    std::vector<std::string> gone;
    std::map<std::string, std::vector<std::uint8_t>> twice;
    std::vector<std::uint8_t> want;  // 4 slots of 2 bytes, the pointer at slot 1
  };
  const Case cases[] = {
      {"a hole keeps its place, empty", {}, {}, {9, 9, 10, 10, 7, 7, 0, 0}},
      {"a period never written takes none", {"2026-01-01 08:00"}, {}, {9, 9, 10, 10, 0, 0, 7, 7}},
      {"an hour written twice takes two, the second newer",
       {"2026-01-01 08:00"},
       {{"2026-01-01 09:00", {99, 99}}},
       {99, 99, 10, 10, 7, 7, 9, 9}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> area(8);
    LayRecords(ArchiveKind::Hourly, area, 0, 4, 2, 2, newestFirst, c.gone, c.twice);
    EXPECT_EQ(area, c.want) << c.what;
  }
  // A pointer that is no record's place lays nothing.
  std::vector<std::uint8_t> area(8);
  LayRecords(ArchiveKind::Hourly, area, 0, 4, 2, 3, newestFirst, {}, {});
  EXPECT_EQ(area, std::vector<std::uint8_t>(8));
}

TEST(CollectLogFiles, OnlyTheCollectorsLogsOlderThanTheDaysKeptGo) {
  link_test::TempFolder home;
  const auto folder = home.Path();
  for (const char* name : {"collect-2026-12-01.log", "collect-2026-12-06.log", "collect-2026-12-07.log",
                           "collect-2026-12-09.log", "collect-old.log", "notes-2026-12-01.log"})
    std::ofstream(folder / name) << "x\n";
  std::tm today{};
  today.tm_year = 2026 - 1900, today.tm_mon = 11, today.tm_mday = 9;
  EXPECT_EQ(RemoveOldLogs(folder, today, 3), 2u);
  for (const char* kept :
       {"collect-2026-12-07.log", "collect-2026-12-09.log", "collect-old.log", "notes-2026-12-01.log"})
    EXPECT_TRUE(std::filesystem::exists(folder / kept)) << kept;
}

// The HTTP access log's first line of a day removes its own kind's files
// beyond the days kept, not the collector's; the line is in the day's file.
TEST(CollectLogFiles, TheAccessLogsDaysBeyondLogDaysGoToo) {
  link_test::TempFolder home;
  const auto folder = home.Path() / "logs";
  std::filesystem::create_directories(folder);
  for (const char* name : {"http-2000-01-01.log", "http-2000-01-02.log", "collect-2000-01-01.log"})
    std::ofstream(folder / name) << "x\n";
  DailyLog access(home.Path(), "http", 3);
  std::tm today{};
  today.tm_year = 2026 - 1900, today.tm_mon = 11, today.tm_mday = 9;
  ASSERT_TRUE(access.Write(today, "GET /metrics 200\n"));
  ASSERT_TRUE(access.Write(today, "GET /health 200\n"));
  EXPECT_FALSE(std::filesystem::exists(folder / "http-2000-01-01.log"));
  EXPECT_FALSE(std::filesystem::exists(folder / "http-2000-01-02.log"));
  EXPECT_TRUE(std::filesystem::exists(folder / "collect-2000-01-01.log"));
  std::ifstream day(folder / "http-2026-12-09.log");
  const std::string written((std::istreambuf_iterator<char>(day)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, "GET /metrics 200\nGET /health 200\n");
}

}  // namespace
}  // namespace statvtk::collect
