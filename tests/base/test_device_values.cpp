// Device value encodings: byte order, BCD dates, device times, the wait.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>

#include "base/device_values.hpp"

namespace statvtk {
namespace {

TEST(Encodings, ReverseDeviceBytes) {
  struct Case {
    std::vector<std::uint8_t> src;
    std::uint64_t value;
  };
  const std::vector<Case> cases{
      {{0x01, 0x02}, 0x0102},
      {{0xAB}, 0xAB},
      {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 0x010203040506},
      {{0x80, 0, 0, 0, 0, 0, 0, 0x01}, 0x8000000000000001},
      {{}, 0},
  };
  for (const auto& c : cases) {
    std::array<std::uint8_t, 8> dst;
    dst.fill(0xEE);  // every byte is set, also those past N
    ReverseDeviceBytes(dst, c.src);
    std::uint64_t v;
    std::memcpy(&v, dst.data(), 8);
    EXPECT_EQ(v, c.value);
    EXPECT_EQ(DeviceUInt(c.src), c.value);
  }
}

TEST(Encodings, SwapFloat32) {
  std::array<std::uint8_t, 4> b{0x3F, 0x80, 0x00, 0x00};
  SwapFloat32(b);
  float f;
  std::memcpy(&f, b.data(), 4);
  EXPECT_EQ(f, 1.0f);
  const std::array<std::uint8_t, 4> be{0xC0, 0x20, 0x00, 0x00};
  EXPECT_EQ(DeviceFloat(be), -2.5f);
}

TEST(Encodings, BcdDates) {
  EXPECT_TRUE(IsValidBcdDate(0x31, 0x12, 0x24));
  EXPECT_TRUE(IsValidBcdDate(0x01, 0x01, 0x00));
  EXPECT_TRUE(IsValidBcdDate(0x01, 0x01, 0x99));
  EXPECT_FALSE(IsValidBcdDate(0x32, 0x01, 0x24));
  EXPECT_FALSE(IsValidBcdDate(0x01, 0x13, 0x24));
  EXPECT_FALSE(IsValidBcdDate(0x00, 0x05, 0x24));
  EXPECT_FALSE(IsValidBcdDate(0x15, 0x00, 0x24));
  EXPECT_FALSE(IsValidBcdDate(0x15, 0x05, 0xA0));  // decodes to 100
}

TEST(Encodings, DeviceTimes) {
  EXPECT_FALSE(IsValidDeviceTime(946684799));
  EXPECT_TRUE(IsValidDeviceTime(946684800));
  EXPECT_TRUE(IsValidDeviceTime(2684275199u));
  EXPECT_FALSE(IsValidDeviceTime(2684275200u));
  EXPECT_EQ(DeviceTimeToBcdHour(0), 0u);
  EXPECT_EQ(DeviceTimeToBcdHour(1710511200u), 0x24031514u);  // 2024-03-15 14:00:00
  EXPECT_EQ(DeviceTimeToBcdHour(946684800u + 23 * 3600 + 59 * 60), 0x00010123u);
}

TEST(Encodings, WaitMsWaitsAtLeastTheTimeAsked) {
  for (std::uint32_t ms : {0u, 1u, 20u}) {
    const auto t0 = std::chrono::steady_clock::now();
    WaitMs(ms);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(ms));
  }
}

}  // namespace
}  // namespace statvtk
