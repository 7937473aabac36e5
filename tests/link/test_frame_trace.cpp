// The trace line both front ends show for a frame.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "link/frame_trace.hpp"
#include "base/error.hpp"

namespace statvtk {
namespace {

// 12:34:56.789 of the local time on 2 January 2026.
std::chrono::system_clock::time_point LocalMoment() {
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 0;
  tm.tm_mday = 2;
  tm.tm_hour = 12;
  tm.tm_min = 34;
  tm.tm_sec = 56;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(789);
}

TEST(FrameTraceLine, MarksEachKindOfEntry) {
  struct Case {
    FrameTrace::Direction direction;
    std::vector<std::uint8_t> bytes;
    std::uint32_t result;
    std::string expected;
  };
  const Case cases[] = {
      {FrameTrace::Direction::Sent, {0x55, 0x01, 0xFE, 0x0A}, 0, "12:34:56.789  -> 55 01 FE 0A"},
      {FrameTrace::Direction::Received, {0xAA, 0x01}, 0, "12:34:56.789  <- AA 01"},
      {FrameTrace::Direction::Received,
       {0xAA, 0x01},
       CodeNumber(ErrorCode::BadChecksum),
       "12:34:56.789  <! AA 01  [ответ искажен (неверная контрольная сумма): помехи на линии "
       "(Неверная контрольная сумма пакета [4])]"},
      {FrameTrace::Direction::Received,
       {},
       CodeNumber(ErrorCode::Timeout),
       "12:34:56.789  <! [нет ответа (Тайм-аут [2])]"},
      {FrameTrace::Direction::Late, {0xAA}, 0, "12:34:56.789  <~ AA  [опоздавшие байты]"},
  };
  for (const auto& c : cases) {
    const FrameTrace f{LocalMoment(), c.direction, c.bytes, c.result};
    EXPECT_EQ(FrameTraceLine(f), c.expected);
  }
}

}  // namespace
}  // namespace statvtk
