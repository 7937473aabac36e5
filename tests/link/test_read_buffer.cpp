// The channels' shared input buffer: bytes come out in order, a refill takes
// at most 256, and a drain hands over what was unread and what still comes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "link/read_buffer.hpp"

namespace statvtk {
namespace {

// A carrier holding `waiting` bytes; each read takes as many as fit.
struct FakeCarrier {
  std::deque<std::uint8_t> waiting;
  int reads = 0;
  std::size_t operator()(std::span<std::uint8_t> into) {
    ++reads;
    const std::size_t n = std::min(into.size(), waiting.size());
    std::copy_n(waiting.begin(), n, into.begin());
    waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
  }
};

std::vector<std::uint8_t> Counting(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 7);
  return v;
}

TEST(ReadBuffer, HandsOutEveryByteInOrderAcrossRefills) {
  const auto sent = Counting(600);
  FakeCarrier carrier{{sent.begin(), sent.end()}};
  ReadBuffer buf;
  EXPECT_FALSE(buf.Next());
  std::vector<std::uint8_t> got;
  std::vector<std::size_t> fills;
  for (;;) {
    if (const auto b = buf.Next()) {
      got.push_back(*b);
      continue;
    }
    const std::size_t n = buf.Refill(std::ref(carrier));
    if (n == 0) break;
    fills.push_back(n);
  }
  EXPECT_EQ(got, sent);
  EXPECT_EQ(fills, (std::vector<std::size_t>{256, 256, 88}));
}

TEST(ReadBuffer, DrainHandsOverTheUnreadAndWhatStillComes) {
  const auto sent = Counting(300);
  FakeCarrier carrier{{sent.begin(), sent.end()}};
  ReadBuffer buf;
  ASSERT_EQ(buf.Refill(std::ref(carrier)), 256u);
  ASSERT_EQ(buf.Next(), sent[0]);
  ASSERT_EQ(buf.Next(), sent[1]);
  std::vector<std::uint8_t> dropped;
  buf.Drain(&dropped, [&] { return buf.Refill(std::ref(carrier)); });
  EXPECT_EQ(dropped, std::vector<std::uint8_t>(sent.begin() + 2, sent.end()));
  EXPECT_FALSE(buf.Next());

  // Without a place for them the bytes are simply gone.
  carrier.waiting = {1, 2, 3};
  buf.Drain(nullptr, [&] { return buf.Refill(std::ref(carrier)); });
  EXPECT_TRUE(carrier.waiting.empty());
  EXPECT_FALSE(buf.Next());
}

}  // namespace
}  // namespace statvtk
