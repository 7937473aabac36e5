// Which old logs go.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "collect/run/collect_log.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::collect {
namespace {

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
