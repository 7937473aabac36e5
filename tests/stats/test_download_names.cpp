// The names downloads take: every ordinary serial keeps its name, and
// whatever an instrument reports stays one file inside the data folder.
#include <gtest/gtest.h>

#include <string>

#include "stats/stat_file.hpp"

using namespace statvtk;
using namespace std::string_literals;

namespace {

struct DownloadCase {
  std::string serial;
  DeviceType type;
  std::string name;
};

class DownloadNames : public ::testing::TestWithParam<DownloadCase> {};

TEST_P(DownloadNames, AreAsBefore) {
  const DownloadCase& c = GetParam();
  EXPECT_EQ(DownloadFileName(c.serial, c.type, 2024, 3, 5, 9, 7), c.name);
}

INSTANTIATE_TEST_SUITE_P(
    OrdinarySerials, DownloadNames,
    ::testing::Values(DownloadCase{"00012345", DeviceType::dtVTK0812, "00012345-2024-03-05@09-07.vst"},
                      DownloadCase{"99999999", DeviceType::dtVTK0814C, "99999999-2024-03-05@09-07.814"},
                      DownloadCase{"1234####", DeviceType::dtVTK0814CM, "1234####-2024-03-05@09-07.814"},
                      DownloadCase{"1234\0\0\0\0"s, DeviceType::dtVTK0812, "1234####-2024-03-05@09-07.vst"},
                      DownloadCase{"########", DeviceType::dtVTK0812, "########-2024-03-05@09-07.vst"},
                      DownloadCase{"0", DeviceType::dtLDN08, "0-2024-03-05@09-07.ldn"},
                      DownloadCase{"4294967295", DeviceType::dtLDN08, "4294967295-2024-03-05@09-07.ldn"}));

INSTANTIATE_TEST_SUITE_P(
    HostileSerials, DownloadNames,
    ::testing::Values(DownloadCase{"1\n/x\x1b[2J", DeviceType::dtVTK0812, "1##x#[2J-2024-03-05@09-07.vst"},
                      DownloadCase{"..\\..\\a", DeviceType::dtVTK0812, "#.#..#a-2024-03-05@09-07.vst"},
                      DownloadCase{"C:x", DeviceType::dtVTK0814C, "C#x-2024-03-05@09-07.814"},
                      DownloadCase{"CON.1234", DeviceType::dtVTK0812, "#CON.1234-2024-03-05@09-07.vst"},
                      DownloadCase{"12/34/56", DeviceType::dtVTK0812, "12#34#56-2024-03-05@09-07.vst"}));

TEST(DownloadNames, SeriesNumberStaysAfterTheSafeName) {
  EXPECT_EQ(DownloadFileName("1/2", DeviceType::dtVTK0812, 2024, 3, 5, 9, 7, 2), "1#2-2024-03-05@09-07_2.vst");
}

}  // namespace
