// Garbage from the line: random bytes, truncated frames and endless noise end
// every exchange with a link error code within its time budget, and never
// touch the caller's buffer.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "base/error.hpp"
#include "link/link_test_util.hpp"

namespace statvtk::link_test {
namespace {

using namespace std::chrono_literals;

const std::set<std::uint32_t> kReceptionCodes{CodeNumber(ErrorCode::Timeout), CodeNumber(ErrorCode::BadSize),
                                              CodeNumber(ErrorCode::BadChecksum), CodeNumber(ErrorCode::BadAddress),
                                              CodeNumber(ErrorCode::WrongReply)};

Bytes RandomReply(std::mt19937& rng) {
  Bytes r(rng() % 600);
  const bool framey = rng() % 2 == 0;
  for (auto& b : r) {
    b = static_cast<std::uint8_t>(rng());
    if (framey && rng() % 5 == 0) b = rng() % 2 ? 0xAA : 0x00;
  }
  return r;
}

TEST(Tmod07Garbage, RandomRepliesEndWithAReceptionCodeInTime) {
  std::mt19937 rng(4242);
  for (int seed = 0; seed < 30; ++seed) {
    for (frame::Form form : {frame::Form::Short, frame::Form::Long}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + (form == frame::Form::Short ? " short" : " long"));
      const Bytes noise = RandomReply(rng);
      Wired w([&](std::span<const std::uint8_t>) { return ScriptedReply{noise}; });
      w.Timing(0, 0, 1 + seed % 2);  // budgets of 20 ms per byte
      Bytes out(64, 0xEE);
      const auto t0 = std::chrono::steady_clock::now();
      const bool ok = form == frame::Form::Short ? w.link.Read(frame::Op::ReadArchive32, 1, 0, 64, out)
                                                 : w.link.Read(frame::Op::ReadArchive32Long, 1, 0, 64, out);
      EXPECT_LT(MsSince(t0), 30000.0);  // ends: no garbage keeps it going
      if (!ok) {
        EXPECT_EQ(kReceptionCodes.count(w.link.LastError()), 1u) << w.link.LastError();
        EXPECT_EQ(out, Bytes(64, 0xEE));
      }
    }
  }
}

TEST(Tmod07Garbage, TruncatedFramesTimeOut) {
  const Bytes whole = frame::BuildShort(frame::kReplyStart, 1, 15, 3, Pattern(64));
  for (std::size_t cut :
       {std::size_t{1}, std::size_t{3}, std::size_t{5}, std::size_t{6}, std::size_t{40}, whole.size() - 1}) {
    SCOPED_TRACE(cut);
    Wired w([&](std::span<const std::uint8_t>) { return ScriptedReply{Bytes(whole.begin(), whole.begin() + cut)}; });
    w.Timing(20, 20, 1);
    Bytes out(64, 0xEE);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(w.link.Read(frame::Op::ReadArchive32, 1, 0, 64, out));
    EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::Timeout));
    EXPECT_LT(MsSince(t0), 30000.0);
    EXPECT_EQ(out, Bytes(64, 0xEE));
  }
}

TEST(Tmod07Garbage, EndlessNoiseDoesNotRenewTheFirstByteBudget) {
  // Noise without a start byte keeps coming every millisecond for a minute;
  // the reception still ends when the first byte's budget (ReplyTimeout 100:
  // 120 ms) is spent, long before the noise does.
  Wired w;
  w.Timing(60, 100, 1);
  w.channel->SetInstrument([](std::span<const std::uint8_t>) { return ScriptedReply{Bytes(60000, 0x13), 0us, 1ms}; });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(w.link.Exchange(1, 0, 0, {}));
  const double ms = MsSince(t0);
  EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::Timeout));
  EXPECT_GE(ms, 119.0);
  EXPECT_LT(ms, 30000.0);
}

}  // namespace
}  // namespace statvtk::link_test
