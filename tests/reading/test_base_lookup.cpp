// Finding the earlier download of an instrument for a read of what is new.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/temp_folder.hpp"
#include "reading/new_records.hpp"
#include "stats/stat_file.hpp"

using namespace statvtk;
namespace fs = std::filesystem;

namespace {

fs::path Saved(const fs::path& folder, const std::string& serial, DeviceType type) {
  StatData data = StatData::Blank(type);
  for (std::size_t i = 0; i < serial.size() && i < 8; ++i) data.header[512 + i] = static_cast<std::uint8_t>(serial[i]);
  const auto saved = SaveDownloadedStatFile(folder, data, 2024, 3, 5, 9, 7);
  EXPECT_TRUE(saved.has_value());
  return saved ? *saved : fs::path();
}

struct SerialCase {
  std::string serial;
};

class BaseLookup : public ::testing::TestWithParam<SerialCase> {};

// The base is looked up under the name the download took, whatever the serial holds.
TEST_P(BaseLookup, FindsTheEarlierDownloadOfTheSerial) {
  const link_test::TempFolder dir;
  const fs::path file = Saved(dir.Path(), GetParam().serial, DeviceType::dtVTK0812);
  Saved(dir.Path(), "55555555", DeviceType::dtVTK0812);
  const auto found = NewestBaseFile(dir.Path(), GetParam().serial, DeviceType::dtVTK0812);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(*found, file);
  EXPECT_FALSE(NewestBaseFile(dir.Path(), GetParam().serial, DeviceType::dtVTK0814C).has_value());
}

INSTANTIATE_TEST_SUITE_P(Serials, BaseLookup,
                         ::testing::Values(SerialCase{"00012345"}, SerialCase{"12/45/78"}, SerialCase{"1:2\\3\x1bzz"},
                                           SerialCase{"CON.1234"}));

}  // namespace
