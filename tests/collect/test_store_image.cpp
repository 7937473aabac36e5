// Which old logs go.
#include <gtest/gtest.h>

#include <fstream>

#include "collect/collect_log.hpp"
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

}  // namespace
}  // namespace statvtk::collect
