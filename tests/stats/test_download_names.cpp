// The names downloads take: the serial made safe (its own rules: the base
// tests of SafeNamePart), the minute, the series number and each model's extension.
#include <gtest/gtest.h>

#include <string>

#include "stats/stat_file.hpp"

using namespace statvtk;
using namespace std::string_literals;

namespace {

TEST(DownloadNames, SafeSerialMinuteSeriesAndExtension) {
  const struct {
    std::string serial;
    DeviceType type;
    int n;
    std::string name;
  } cases[] = {
      {"00012345", DeviceType::dtVTK0812, 1, "00012345-2024-03-05@09-07.vst"},
      {"1234\0\0\0\0"s, DeviceType::dtVTK0814CM, 1, "1234####-2024-03-05@09-07.814"},
      {"4294967295", DeviceType::dtLDN08, 1, "4294967295-2024-03-05@09-07.ldn"},
      {"../../a", DeviceType::dtVTK0814C, 1, "#.#..#a-2024-03-05@09-07.814"},
      {"1/2", DeviceType::dtVTK0812, 2, "1#2-2024-03-05@09-07_2.vst"},
      {"00012345", DeviceType::dtVTK0812, 10, "00012345-2024-03-05@09-07_10.vst"},
  };
  for (const auto& c : cases) EXPECT_EQ(DownloadFileName(c.serial, c.type, 2024, 3, 5, 9, 7, c.n), c.name) << c.serial;
}

}  // namespace
