// Request handling of the simulated instrument, frame by frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/result_util.hpp"
#include "link/frame.hpp"
#include "sim/instrument.hpp"

using namespace statvtk;
using namespace statvtk::sim;
using frame::Op;

namespace {

InstrumentOptions Opts(DeviceType t, std::uint64_t seed = 7) {
  InstrumentOptions o;
  o.model = t;
  o.seed = seed;
  return o;
}

std::vector<std::uint8_t> Request(const Instrument& in, Op op, std::uint32_t offset = 0, std::uint8_t count = 0,
                                  std::optional<std::uint32_t> to = std::nullopt) {
  const auto body = frame::EncodeRequest(op, offset, count);
  if (frame::FormOf(op) == frame::Form::Short)
    return frame::BuildShort(frame::kRequestStart, static_cast<std::uint8_t>(to.value_or(in.Options().address)),
                             body.group, body.command, body.data);
  return frame::BuildLong(frame::kRequestStart, to.value_or(in.Options().longAddress), body.group, body.command,
                          body.data);
}

std::vector<std::uint8_t> Expected(const Instrument& in, Op op, std::span<const std::uint8_t> data) {
  const auto body = frame::EncodeRequest(op, 0, 0);
  if (frame::FormOf(op) == frame::Form::Short)
    return frame::BuildShort(frame::kReplyStart, in.Options().address, body.group, body.command, data);
  return frame::BuildLong(frame::kReplyStart, in.Options().longAddress, body.group, body.command, data);
}

struct IdentCase {
  DeviceType type;
  const char* key;
};

}  // namespace

class Identification : public ::testing::TestWithParam<IdentCase> {};

TEST_P(Identification, BothFormsAnswerWithTheModelText) {
  Instrument in(Opts(GetParam().type));
  const std::string& text = in.IdentificationText();
  EXPECT_NE(text.find(GetParam().key), std::string::npos) << text;
  EXPECT_GT(text.size(), std::string(GetParam().key).size());
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  for (Op op : {Op::Identify, Op::IdentifyLong}) {
    const auto reply = in.Respond(Request(in, op));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(*reply, Expected(in, op, bytes));
  }
}

INSTANTIATE_TEST_SUITE_P(Models, Identification,
                         ::testing::Values(IdentCase{DeviceType::dtVTK0812, "VTK-612"},
                                           IdentCase{DeviceType::dtVTK0814C, "VTK0814-C"},
                                           IdentCase{DeviceType::dtVTK0814CM, "VTK0814-CM"},
                                           IdentCase{DeviceType::dtLDN08, "LDN-08"}));

struct ReadCase {
  DeviceType type;
  Op op;
  MemoryKind memory;
  std::uint32_t offset;
  std::uint8_t count;  // 0 = 256
};

class Reads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(Reads, ReplyCarriesTheMemoryBytes) {
  const ReadCase c = GetParam();
  Instrument in(Opts(c.type));
  const auto mem = in.Memory(c.memory);
  const std::size_t n = c.count == 0 ? 256 : c.count;
  ASSERT_LE(c.offset + n, mem.size());
  const auto reply = in.Respond(Request(in, c.op, c.offset, c.count));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, Expected(in, c.op, mem.subspan(c.offset, n)));
}

INSTANTIATE_TEST_SUITE_P(
    Models, Reads,
    ::testing::Values(ReadCase{DeviceType::dtVTK0812, Op::ReadBlock8, MemoryKind::Rtc, 0, 16},
                      ReadCase{DeviceType::dtVTK0812, Op::ReadBlock8, MemoryKind::Rtc, 112, 16},
                      ReadCase{DeviceType::dtVTK0812, Op::ReadParams16, MemoryKind::Ram, 180, 4},
                      ReadCase{DeviceType::dtVTK0812, Op::ReadBlock16, MemoryKind::Config, 496, 16},
                      ReadCase{DeviceType::dtVTK0812, Op::ReadArchive16, MemoryKind::Archive, 0x4000, 16},
                      ReadCase{DeviceType::dtVTK0812, Op::ReadArchive16, MemoryKind::Archive, 65280, 0},
                      ReadCase{DeviceType::dtVTK0814C, Op::ReadBlock8, MemoryKind::Rtc, 16, 16},
                      ReadCase{DeviceType::dtVTK0814C, Op::ReadParams16, MemoryKind::Ram, 264, 8},
                      ReadCase{DeviceType::dtVTK0814C, Op::ReadBlock16, MemoryKind::Config, 448, 32},
                      ReadCase{DeviceType::dtVTK0814CM, Op::ReadArchive32, MemoryKind::Archive, 92160, 64},
                      ReadCase{DeviceType::dtVTK0814CM, Op::ReadArchive32, MemoryKind::Archive, 262080, 64},
                      ReadCase{DeviceType::dtVTK0814CM, Op::ReadArchive32, MemoryKind::Archive, 131072, 0},
                      ReadCase{DeviceType::dtLDN08, Op::ReadBlock16Long, MemoryKind::Config, 192, 32},
                      ReadCase{DeviceType::dtLDN08, Op::ReadParams16Long, MemoryKind::Ram, 32, 32},
                      ReadCase{DeviceType::dtLDN08, Op::ReadArchive32Long, MemoryKind::Archive, 196608, 68},
                      ReadCase{DeviceType::dtLDN08, Op::ReadArchive32Long, MemoryKind::Archive, 274432 + 127 * 64, 64},
                      ReadCase{DeviceType::dtLDN08, Op::ReadArchive32Long, MemoryKind::Archive, 524288 - 256, 0}));

struct RefuseCase {
  DeviceType type;
  Op op;
  std::uint32_t offset;
  std::uint8_t count;
  const char* what;
};

class Refused : public ::testing::TestWithParam<RefuseCase> {};

TEST_P(Refused, NoReplyAndAReason) {
  const RefuseCase c = GetParam();
  Instrument in(Opts(c.type));
  const auto reply = in.Respond(Request(in, c.op, c.offset, c.count));
  EXPECT_FALSE(reply.has_value()) << c.what;
  EXPECT_FALSE(ReasonOf(reply).empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refused,
    ::testing::Values(RefuseCase{DeviceType::dtVTK0812, Op::ReadBlock8, 120, 16, "RTC end"},
                      RefuseCase{DeviceType::dtVTK0812, Op::ReadBlock8, 128, 1, "RTC past"},
                      RefuseCase{DeviceType::dtVTK0812, Op::ReadParams16, 1020, 8, "RAM end"},
                      RefuseCase{DeviceType::dtVTK0812, Op::ReadBlock16, 500, 16, "config end"},
                      RefuseCase{DeviceType::dtVTK0812, Op::ReadArchive16, 65535, 2, "EEPROM end"},
                      RefuseCase{DeviceType::dtVTK0812, Op::ReadArchive32, 0, 64, "08.14 op on 08.12"},
                      RefuseCase{DeviceType::dtVTK0814C, Op::ReadArchive16, 0, 16, "08.12 op on 08.14"},
                      RefuseCase{DeviceType::dtVTK0814C, Op::ReadArchive32, 262143, 64, "archive end"},
                      RefuseCase{DeviceType::dtVTK0814C, Op::ReadBlock16Long, 0, 32, "LDN op on VTK"},
                      RefuseCase{DeviceType::dtLDN08, Op::ReadBlock8, 0, 16, "RTC on LDN"},
                      RefuseCase{DeviceType::dtLDN08, Op::ReadBlock16, 0, 32, "short config on LDN"},
                      RefuseCase{DeviceType::dtLDN08, Op::ReadBlock16Long, 240, 32, "LDN config end"},
                      RefuseCase{DeviceType::dtLDN08, Op::ReadParams16Long, 48, 32, "LDN RAM end"},
                      RefuseCase{DeviceType::dtLDN08, Op::ReadArchive32Long, 524287, 68, "LDN archive end"}));

TEST(Requests, OtherAddressesAreIgnoredSilently) {
  for (DeviceType t : {DeviceType::dtVTK0814C, DeviceType::dtLDN08}) {
    Instrument in(Opts(t));
    const auto shortForm = in.Respond(Request(in, Op::Identify, 0, 0, 2));
    EXPECT_FALSE(shortForm.has_value());
    EXPECT_TRUE(ReasonOf(shortForm).empty());
    const auto longForm = in.Respond(Request(in, Op::IdentifyLong, 0, 0, 87654321));
    EXPECT_FALSE(longForm.has_value());
    EXPECT_TRUE(ReasonOf(longForm).empty());
  }
  InstrumentOptions o = Opts(DeviceType::dtVTK0814C);
  o.address = 37, o.longAddress = 0x01020304;
  Instrument in(o);
  EXPECT_TRUE(in.Respond(Request(in, Op::Identify, 0, 0, 37)).has_value());
  EXPECT_FALSE(in.Respond(Request(in, Op::Identify, 0, 0, 1)).has_value());
  const auto r = in.Respond(Request(in, Op::IdentifyLong, 0, 0, 0x01020304));
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ((std::vector<std::uint8_t>(r->begin() + 1, r->begin() + 5)), (std::vector<std::uint8_t>{4, 3, 2, 1}));
}

TEST(Requests, MalformedFramesGetNoReply) {
  Instrument in(Opts(DeviceType::dtVTK0814C));
  auto good = Request(in, Op::ReadBlock16, 0, 32);
  ASSERT_TRUE(in.Respond(good).has_value());
  std::vector<std::vector<std::uint8_t>> bad;
  auto b = good;
  b.back() ^= 1;
  bad.push_back(b);  // checksum
  b = good;
  b[2] ^= 0x10;
  b.back() = frame::Checksum({b.data(), b.size() - 1});
  bad.push_back(b);                                                                                   // complement
  bad.push_back(frame::BuildShort(frame::kRequestStart, 1, 7, 9, std::vector<std::uint8_t>{1, 2}));   // unknown op
  bad.push_back(frame::BuildShort(frame::kRequestStart, 1, 15, 1, std::vector<std::uint8_t>{0, 0}));  // short data
  b = good;
  b.resize(5);
  bad.push_back(b);  // cut
  for (const auto& f : bad) {
    const auto reply = in.Respond(f);
    EXPECT_FALSE(reply.has_value());
    EXPECT_FALSE(ReasonOf(reply).empty());
  }
  // Handle logs each refusal.
  std::vector<std::string> lines;
  in.SetLog([&](std::string_view l) { lines.emplace_back(l); });
  for (const auto& f : bad) EXPECT_FALSE(in.Handle(f).has_value());
  EXPECT_EQ(lines.size(), bad.size());
  EXPECT_EQ(in.Counts().rejected, bad.size());
}

// (The same seed, the same memories: the shapes' golden hashes.)
TEST(Requests, OtherSeedOtherMemories) {
  for (DeviceType t : {DeviceType::dtVTK0812, DeviceType::dtVTK0814CM, DeviceType::dtLDN08})
    EXPECT_NE(Instrument(Opts(t, 11)).ExpectedDumpBytes(), Instrument(Opts(t, 12)).ExpectedDumpBytes());
}

struct FaultCase {
  const char* name;
  FaultRates rates;
};

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, RatesRoughlyAsAsked) {
  InstrumentOptions o = Opts(DeviceType::dtVTK0814C);
  o.faults = GetParam().rates;
  Instrument in(o);
  const auto req = Request(in, Op::ReadBlock16, 32, 32);
  const auto clean = *in.Respond(req);
  int none = 0, badSum = 0, otherCmd = 0, junk = 0, shortened = 0;
  constexpr int n = 2000;
  for (int i = 0; i < n; ++i) {
    const auto r = in.Handle(req);
    if (!r) {
      ++none;
      continue;
    }
    std::size_t start = 0;
    while (start < r->size() && (*r)[start] != frame::kReplyStart) ++start;
    if (start > 0) ++junk;
    const std::vector<std::uint8_t> f(r->begin() + static_cast<std::ptrdiff_t>(start), r->end());
    if (f.size() < clean.size()) {
      ++shortened;
      continue;
    }
    if (frame::Checksum({f.data(), f.size() - 1}) != f.back()) ++badSum;
    else if (f[4] != clean[4]) ++otherCmd;
  }
  const FaultRates& p = GetParam().rates;
  auto near = [](int got, double rate) { return got >= rate * n * 0.6 && got <= rate * n * 1.4 + 1; };
  EXPECT_TRUE(near(none, p.drop)) << none;
  EXPECT_TRUE(near(badSum, p.corrupt)) << badSum;
  EXPECT_TRUE(near(otherCmd, p.wrongCommand)) << otherCmd;
  EXPECT_TRUE(near(junk, p.noise)) << junk;
  EXPECT_TRUE(near(shortened, p.truncate)) << shortened;
  const FaultCounts c = in.Counts();
  EXPECT_EQ(c.dropped, static_cast<std::uint64_t>(none));
  EXPECT_EQ(c.noise, static_cast<std::uint64_t>(junk));
  EXPECT_EQ(c.truncated, static_cast<std::uint64_t>(shortened));
}

INSTANTIATE_TEST_SUITE_P(Rates, Faults,
                         ::testing::Values(FaultCase{"drop", {0.1, 0, 0, 0, 0}},
                                           FaultCase{"corrupt", {0, 0.1, 0, 0, 0}},
                                           FaultCase{"wrong", {0, 0, 0.2, 0, 0}}, FaultCase{"noise", {0, 0, 0, 0.3, 0}},
                                           FaultCase{"truncate", {0, 0, 0, 0, 0.15}},
                                           FaultCase{"none", {0, 0, 0, 0, 0}}),
                         [](const auto& i) { return std::string(i.param.name); });
