// The in-process channel with faults and latency, the expected statistics
// file's header, the program's --dump, its command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "support/result_util.hpp"
#include "link/frame.hpp"
#include "sim/instrument.hpp"
#include "sim/model.hpp"
#include "sim/options.hpp"
#include "sim/sim_channel.hpp"

using namespace statvtk;
using namespace statvtk::sim;
using frame::Op;

namespace {

// One exchange over the channel; the reply's data bytes or nothing.
std::optional<std::vector<std::uint8_t>> Exchange(SimChannel& ch, const Instrument& in, Op op, std::uint32_t offset,
                                                  std::uint8_t count) {
  const auto body = frame::EncodeRequest(op, offset, count);
  const frame::Form form = frame::FormOf(op);
  const auto req =
      form == frame::Form::Short
          ? frame::BuildShort(frame::kRequestStart, in.Options().address, body.group, body.command, body.data)
          : frame::BuildLong(frame::kRequestStart, in.Options().longAddress, body.group, body.command, body.data);
  ch.Purge();
  ch.Write(req);
  frame::FrameParser p(form, frame::kReplyStart);
  while (p.status() == frame::FrameParser::Status::NeedMore) {
    const auto b = ch.ReadByte(std::chrono::milliseconds(5));  // no latency: a reply is there at once or never
    if (!b) return std::nullopt;
    p.Push(*b);
  }
  if (p.status() != frame::FrameParser::Status::Complete || p.Group() != body.group || p.Command() != body.command)
    return std::nullopt;
  return std::vector<std::uint8_t>(p.Data().begin(), p.Data().end());
}

// Reads like the download: retries a failed exchange, then copies into place.
bool Read(SimChannel& ch, const Instrument& in, Op op, std::uint32_t offset, std::uint8_t count,
          std::vector<std::uint8_t>& dst, std::size_t at) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (auto d = Exchange(ch, in, op, offset, count)) {
      std::copy(d->begin(), d->end(), dst.begin() + static_cast<std::ptrdiff_t>(at));
      return true;
    }
  }
  ADD_FAILURE() << "no reply to operation " << static_cast<int>(op) << " at " << offset;
  return false;
}

}  // namespace

// Faults cost retries, never wrong bytes: every archive area read through a
// faulty channel, each exchange retried until it completes, is the memory's.
// (That a download gives exactly the expected dump: the reading job's and the
// command line's full-read tests.)
class FullReadOf : public ::testing::TestWithParam<DeviceType> {};

TEST_P(FullReadOf, GivesTheMemorysBytesDespiteFaults) {
  const DeviceType t = GetParam();
  InstrumentOptions o;
  o.model = t;
  o.seed = 5;
  o.faults = {0.1, 0.1, 0.02, 0.02, 0.02};
  Instrument in(o);
  in.SetLog([](std::string_view) {});
  SimChannel ch(in);
  const Op op = t == DeviceType::dtVTK0812 ? Op::ReadArchive16
                : t == DeviceType::dtLDN08 ? Op::ReadArchive32Long
                                           : Op::ReadArchive32;
  const auto memory = in.Memory(MemoryKind::Archive);
  std::vector<std::uint8_t> got(memory.size());
  for (const Area area : {Area::Hourly, Area::Daily, Area::Monthly, Area::Events}) {
    const AreaLayout& a = LayoutOf(t).Of(area);
    const std::uint32_t chunk = t == DeviceType::dtVTK0812 ? 16 : a.size;
    for (std::uint32_t at = a.first; at < a.End(); at += chunk)
      ASSERT_TRUE(Read(ch, in, op, at, static_cast<std::uint8_t>(chunk), got, at));
    EXPECT_TRUE(std::equal(got.begin() + a.first, got.begin() + a.End(), memory.begin() + a.first))
        << "area " << static_cast<int>(area);
  }
  const FaultCounts c = in.Counts();
  EXPECT_GT(c.dropped, 0u);
  EXPECT_GT(c.corrupted, 0u);
}

INSTANTIATE_TEST_SUITE_P(Models, FullReadOf,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08));

TEST(ExpectedDump, HeaderFieldsWhereTheDownloadPutsThem) {
  InstrumentOptions o;
  o.model = DeviceType::dtVTK0814C;
  Instrument in(o);
  const StatData d = in.ExpectedDump();
  const auto cfg = in.Memory(MemoryKind::Config);
  const auto ram = in.Memory(MemoryKind::Ram);
  EXPECT_EQ(std::string(d.header.begin() + 512, d.header.begin() + 520), in.GetHistory().config.serial);
  EXPECT_EQ(DeviceUInt(std::span<const std::uint8_t>(d.header).subspan(969, 3)), in.GetHistory().hourlyPointer);
  EXPECT_TRUE(std::equal(ram.begin() + 180, ram.begin() + 184, d.header.begin() + 180));
  EXPECT_TRUE(std::equal(ram.begin() + 264, ram.begin() + 272, d.header.begin() + 264));
  // Configuration blocks the download skips stay zero, though the memory holds bytes there.
  for (std::size_t k : {2, 3, 4, 5, 6, 7, 9}) {
    EXPECT_TRUE(std::all_of(d.header.begin() + 512 + k * 32, d.header.begin() + 512 + (k + 1) * 32,
                            [](auto b) { return b == 0; }));
    EXPECT_FALSE(std::all_of(cfg.begin() + k * 32, cfg.begin() + (k + 1) * 32, [](auto b) { return b == 0; }));
  }
  // The 88th event block is not read by "all".
  EXPECT_TRUE(std::all_of(d.area.begin() + 125440 + 87 * 64, d.area.end(), [](auto b) { return b == 0; }));

  o.model = DeviceType::dtVTK0812;
  Instrument v(o);
  const StatData dv = v.ExpectedDump();
  const auto vram = v.Memory(MemoryKind::Ram);
  EXPECT_TRUE(std::equal(vram.begin() + 180, vram.begin() + 184, dv.header.begin() + 436));
  EXPECT_EQ(DeviceUInt(std::span<const std::uint8_t>(dv.header).subspan(16, 6)), v.GetHistory().current.totals.vPlus);

  o.model = DeviceType::dtLDN08;
  Instrument l(o);
  const StatData dl = l.ExpectedDump();
  EXPECT_EQ(LittleUInt32(std::span<const std::uint8_t>(dl.header).subspan(0, 4)), l.GetHistory().config.serialNumber);
  EXPECT_EQ(LittleUInt32(std::span<const std::uint8_t>(dl.header).subspan(196, 4)), l.GetHistory().dailyPointer);
  EXPECT_EQ(dl.header[512 + 42], 10);  // hour of 2026-12-08 10:30:00
}

TEST(ExpectedDump, ProgramWritesTheSameBytesAtomically) {
  const std::string path = std::string(STATVTK_BINARY_DIR) + "/sim_dump_test.ldn";
  std::remove(path.c_str());
  const std::string cmd = std::string(STATVTK_BINARY_DIR) +
                          "/statvtk-sim --model ldn --seed 9 --now \"2025-03-01 08:15:00\" --dump " + path;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream f(path, std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  InstrumentOptions o;
  o.model = DeviceType::dtLDN08, o.seed = 9, o.now = *ParseNow("2025-03-01 08:15:00");
  Instrument in(o);
  EXPECT_TRUE(file == in.ExpectedDumpBytes());
  std::remove(path.c_str());
}

TEST(SimChannel, RepliesComeAfterTheLatency) {
  InstrumentOptions o;
  o.latencyMs = 150;
  Instrument in(o);
  SimChannel ch(in);
  ch.Write(frame::BuildShort(frame::kRequestStart, 1, 0, 0, {}));
  EXPECT_FALSE(ch.ReadByte(std::chrono::milliseconds(0)).has_value());
  const auto first = ch.ReadByte(std::chrono::milliseconds(2000));
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(*first, frame::kReplyStart);
  std::vector<std::uint8_t> dropped;
  ch.Purge(&dropped);
  EXPECT_FALSE(ch.ReadByte(std::chrono::milliseconds(10)).has_value());
  EXPECT_FALSE(dropped.empty());
}

TEST(SimChannel, RequestWrittenByteByByteIsAnswered) {
  InstrumentOptions o;
  o.model = DeviceType::dtLDN08;
  Instrument in(o);
  SimChannel ch(in);
  const auto req = frame::BuildLong(frame::kRequestStart, in.Options().longAddress, 0, 0, {});
  for (auto b : req) ch.Write(std::span<const std::uint8_t>(&b, 1));
  const auto want = *in.Respond(req);
  for (auto w : want) {
    const auto b = ch.ReadByte(std::chrono::milliseconds(500));
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(*b, w);
  }
}

// After N replies the instrument answers nothing more, whatever the request.
TEST(Instrument, FallsSilentAfterNReplies) {
  InstrumentOptions o;
  o.model = DeviceType::dtVTK0814C;
  o.silentAfter = 3;
  Instrument in(o);
  in.SetLog([](std::string_view) {});
  const auto req = frame::BuildShort(frame::kRequestStart, o.address, 0, 0, {});
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(in.Handle(req).has_value()) << i;
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(in.Handle(req).has_value()) << i;
  const FaultCounts c = in.Counts();
  EXPECT_EQ(c.replies, 3u);
  EXPECT_EQ(c.silenced, 4u);
  EXPECT_NE(in.CountsText().find("unanswered when silent 4"), std::string::npos);
}

TEST(CommandLine, HelpNamesEveryOptionAndParsingChecksValues) {
  const std::string help(HelpText());
  for (const char* opt :
       {"--model",        "--seed",    "--now",     "--address", "--long-address",  "--tcp",        "--pty",
        "--baud",         "--latency", "--modem",   "--busy",    "--no-answer",     "--no-carrier", "--ring",
        "--dial-delay",   "--guard",   "--drop",    "--corrupt", "--wrong-command", "--noise",      "--truncate",
        "--silent-after", "--dump",    "--verbose", "--help",    "--version"})
    EXPECT_NE(help.find(opt), std::string::npos) << opt;
  const auto c =
      ParseCommandLine({"--model", "ldn", "--pty", "/tmp/x", "--modem", "--busy", "2", "--drop", "0.1", "--now",
                        "2026-01-31 23:59:59", "--long-address", "4000000000", "--silent-after", "7"});
  ASSERT_TRUE(c.has_value()) << ReasonOf(c);
  EXPECT_EQ(c->instrument.model, DeviceType::dtLDN08);
  ASSERT_TRUE(c->server.has_value());
  EXPECT_EQ(c->server->carrier, CarrierKind::Pty);
  EXPECT_EQ(c->server->modemOptions.busyCalls, 2u);
  EXPECT_DOUBLE_EQ(c->instrument.faults.drop, 0.1);
  EXPECT_EQ(c->instrument.longAddress, 4000000000u);
  EXPECT_EQ(c->instrument.silentAfter, std::optional<std::uint64_t>(7));
  EXPECT_EQ(c->instrument.now, static_cast<std::uint32_t>(CivilToDeviceTime(2026, 1, 31, 23, 59, 59)));
  for (std::vector<std::string> bad : {std::vector<std::string>{"--drop", "1.5"},
                                       {"--model", "x"},
                                       {"--address", "256"},
                                       {"--now", "2026-02-30"},
                                       {"--tcp"},
                                       {"--modem"},
                                       {"--frobnicate"},
                                       {"--silent-after", "-1"},
                                       {"--silent-after"}})
    EXPECT_FALSE(ParseCommandLine(bad).has_value()) << bad[0];
  EXPECT_EQ(*ParseNow("2026-12-08 10:30:00"), kDefaultNow);
  const auto v = ParseCommandLine({"--version"});
  ASSERT_TRUE(v.has_value()) << ReasonOf(v);
  EXPECT_TRUE(v->version);
  EXPECT_FALSE(v->server.has_value());
}

TEST(CommandLine, SerialAndIdentificationAsGivenWithEscapes) {
  const std::string help(HelpText());
  EXPECT_NE(help.find("--serial"), std::string::npos);
  EXPECT_NE(help.find("--ident"), std::string::npos);
  const auto c = ParseCommandLine({"--model", "0812", "--serial", "1\\n/x\\e[2J", "--ident", "VTK-612\\t\\x00\\\\"});
  ASSERT_TRUE(c.has_value()) << ReasonOf(c);
  EXPECT_EQ(c->instrument.serial, std::optional<std::string>("1\n/x\x1b[2J"));
  EXPECT_EQ(c->instrument.ident, std::optional<std::string>(std::string("VTK-612\t\0\\", 10)));
  for (std::vector<std::string> bad : {std::vector<std::string>{"--serial", "123456789"},
                                       {"--serial", "12\\q"},
                                       {"--serial", "12\\x4"},
                                       {"--ident", "x\\"},
                                       {"--model", "ldn", "--serial", "1"}})
    EXPECT_FALSE(ParseCommandLine(bad).has_value()) << bad[1];
  // The instrument reports them: the serial in its configuration, the text on Identify.
  sim::InstrumentOptions o;
  o.model = DeviceType::dtVTK0812;
  o.serial = std::string("1/2", 3);
  o.ident = "VTK-612 \x1b";
  const Instrument in(o);
  EXPECT_EQ(in.IdentificationText(), "VTK-612 \x1b");
  const auto dump = in.ExpectedDumpBytes();
  const std::string serial(dump.begin() + 0x10000 + 512, dump.begin() + 0x10000 + 520);
  EXPECT_EQ(serial, std::string("1/2\0\0\0\0\0", 8));
}
