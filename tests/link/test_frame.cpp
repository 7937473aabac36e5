#include <gtest/gtest.h>

#include <vector>

#include "link/frame.hpp"

using namespace statvtk::frame;

TEST(Frame, IdentifyChecksumExample) {
  const auto f = BuildShort(kRequestStart, 1, 0, 0, {});
  EXPECT_EQ(f, (std::vector<std::uint8_t>{0x55, 0x01, 0xFE, 0x00, 0x00, 0x00, 0xAB}));
}

TEST(Frame, ParserSynchronisesAndCompletes) {
  const std::vector<std::uint8_t> data{1, 2, 3};
  auto reply = BuildShort(kReplyStart, 7, 15, 1, data);
  reply.insert(reply.begin(), {0x00, 0x13});
  FrameParser p(Form::Short, kReplyStart);
  FrameParser::Status s = FrameParser::Status::NeedMore;
  for (auto b : reply) s = p.Push(b);
  ASSERT_EQ(s, FrameParser::Status::Complete);
  EXPECT_EQ(p.DroppedBeforeStart(), 2u);
  EXPECT_EQ(p.Group(), 15);
  EXPECT_EQ(p.Command(), 1);
  EXPECT_EQ(std::vector<std::uint8_t>(p.Data().begin(), p.Data().end()), data);
}
