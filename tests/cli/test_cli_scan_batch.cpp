// statvtk-cli scan, batch reads and new-records reads against several
// simulated instruments sharing one line (pseudo-terminal or loopback TCP).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "support/temp_folder.hpp"
#include "support/result_util.hpp"
#include "cli_runner.hpp"
#include "link/frame.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"

namespace statvtk::test {
namespace {

namespace fs = std::filesystem;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) s += ' ';
    s += kHex[bytes[i] >> 4];
    s += kHex[bytes[i] & 15];
  }
  return s;
}

struct Member {
  DeviceType model;
  std::uint8_t address;
  std::uint32_t speed = 0;
  double corrupt = 0;  // chance of a wrong checksum per reply
};

// Several instruments on one line; each also answers the long form at its
// own address (as statvtk-sim --bus sets them up).
struct BusRig {
  BusRig(std::vector<Member> members, sim::CarrierKind carrier) {
    std::vector<sim::Instrument*> line;
    for (std::size_t i = 0; i < members.size(); ++i) {
      sim::InstrumentOptions o;
      o.model = members[i].model;
      o.seed = 5 + i;
      o.address = members[i].address;
      o.longAddress = members[i].address;
      o.lineSpeed = members[i].speed;
      o.faults.corrupt = members[i].corrupt;
      instruments.push_back(std::make_unique<sim::Instrument>(o));
      line.push_back(instruments.back().get());
    }
    sim::ServerOptions so;
    so.carrier = carrier;
    so.ptyLink = (home / "tty").string();
    std::string error;
    EXPECT_TRUE(Unpack(sim::Server::Start(line, so), &server, &error)) << error;
  }
  ~BusRig() { server.reset(); }
  std::vector<std::string> Args(std::vector<std::string> a, const fs::path& where) const {
    if (fs::exists(home / "tty")) a.insert(a.end(), {"--serial", (home / "tty").string()});
    else a.insert(a.end(), {"--tcp", "127.0.0.1:" + std::to_string(server->Port())});
    a.insert(a.end(), {"--home", where.string(), "--reply-timeout", "150", "--byte-timeout", "100", "--retries", "3"});
    return a;
  }
  sim::Instrument& At(std::uint8_t address) {
    for (auto& i : instruments)
      if (i->Options().address == address) return *i;
    throw std::out_of_range("no instrument at that address");
  }
  link_test::TempFolder folder;
  fs::path home = folder.Path();
  std::vector<std::unique_ptr<sim::Instrument>> instruments;
  std::unique_ptr<sim::Server> server;
};

const std::vector<std::string> kAllKinds{"--hourly", "--daily", "--monthly", "--events"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& more) {
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

TEST(CliScan, FindsExactlyTheInstrumentsOfTheLineAtTheirSpeedsAskingOnlyForIdentification) {
  BusRig rig({{DeviceType::dtVTK0814C, 3, 9600}, {DeviceType::dtLDN08, 7, 57600}, {DeviceType::dtVTK0812, 11, 9600}},
             sim::CarrierKind::Pty);
  const CliRun r = RunCli(rig.Args({"scan", "--addresses", "1-12", "--bauds", "9600,57600", "--trace"}, rig.home));
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0], "3\t9600\tVTK-08.14 C\t" + rig.At(3).IdentificationText());
  EXPECT_EQ(lines[1], "11\t9600\tVTK-08.12\t" + rig.At(11).IdentificationText());
  EXPECT_EQ(lines[2], "7\t57600\tLDN-08\t" + rig.At(7).IdentificationText());

  // Every frame sent is the identification request to one of the addresses given.
  std::set<std::string> allowed;
  const frame::RequestBody id = frame::EncodeRequest(frame::Op::Identify);
  for (int a = 1; a <= 12; ++a)
    allowed.insert(
        Hex(frame::BuildShort(frame::kRequestStart, static_cast<std::uint8_t>(a), id.group, id.command, id.data)));
  int sent = 0;
  for (const auto& l : Lines(r.err)) {
    const auto at = l.find(" -> ");
    if (at == std::string::npos) continue;
    ++sent;
    EXPECT_TRUE(allowed.count(l.substr(at + 4))) << l;
  }
  EXPECT_GE(sent, 24);  // each address at least once at each speed
}

TEST(CliScan, ASilentAddressIsAskedOnceAGarbledOneAgainUntilItAnswers) {
  BusRig rig({{DeviceType::dtVTK0814C, 2, 0, 0.85}}, sim::CarrierKind::Tcp);
  std::vector<std::string> args = rig.Args({"scan", "--addresses", "1-3", "--trace"}, rig.home);
  args.insert(args.end(), {"--retries", "40"});
  const CliRun r = RunCli(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;
  std::map<std::string, int> asked;
  for (const auto& l : Lines(r.err))
    if (const auto at = l.find(" -> "); at != std::string::npos) ++asked[l.substr(at + 4, 5)];
  EXPECT_EQ(asked["55 01"], 1);
  EXPECT_EQ(asked["55 03"], 1);
  EXPECT_GT(asked["55 02"], 1) << "the seeded faults garble the first reply";
}

TEST(CliScan, JsonListsWhatAnsweredAndNoAnswerExitsWithOne) {
  BusRig rig({{DeviceType::dtVTK0814CM, 2}, {DeviceType::dtLDN08, 4}}, sim::CarrierKind::Tcp);
  CliRun r = RunCli(rig.Args({"scan", "--addresses", "1-5", "--json"}, rig.home));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("{\"address\":2,"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"model\":\"VTK-08.14 CM\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("{\"address\":4,"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.front(), '[');

  r = RunCli(rig.Args({"scan", "--addresses", "5,6"}, rig.home));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST(CliScan, BadListsAreUsageErrors) {
  for (const char* list : {"", "1-", "5-3", "1,,2", "300", "a"}) {
    const CliRun r = RunCli({"scan", "--addresses", list, "--tcp", "127.0.0.1:9"});
    EXPECT_EQ(r.status, 2) << list << ": " << r.err;
  }
  EXPECT_EQ(RunCli({"scan", "--bauds", "fast", "--tcp", "127.0.0.1:9"}).status, 2);
  EXPECT_EQ(RunCli({"read", "--address", "3,x", "--tcp", "127.0.0.1:9"}).status, 2);
}

TEST(CliBatch, OneExactFilePerInstrumentAndAnAbsentAddressFailsAlone) {
  BusRig rig({{DeviceType::dtVTK0814C, 3}, {DeviceType::dtLDN08, 7}}, sim::CarrierKind::Tcp);
  CliRun r = RunCli(rig.Args(With({"read", "--address", "3,5,7", "--all"}, kAllKinds), rig.home));
  EXPECT_EQ(r.status, 1) << r.err;
  const auto files = Lines(r.out);
  ASSERT_EQ(files.size(), 2u) << r.out;
  EXPECT_EQ(FileBytes(files[0]), rig.At(3).ExpectedDumpBytes());
  EXPECT_EQ(FileBytes(files[1]), rig.At(7).ExpectedDumpBytes());
  EXPECT_NE(r.err.find("Прочитано 2 из 3; адрес 5: Ошибка идентификации прибора.\n"), std::string::npos) << r.err;
  // The line was opened once for the three.
  EXPECT_EQ(rig.server->Connections(), 1u);
  // Every address read: exit 0.
  r = RunCli(rig.Args(With({"read", "--address", "3,7", "--all"}, kAllKinds), rig.home));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 2u) << r.out;
  EXPECT_NE(r.err.find("Прочитано 2 из 2.\n"), std::string::npos) << r.err;
}

// Full read, time passes, then a new-records read must equal a full read
// made at that moment, byte for byte, with the base left as it was.
struct NewCase {
  DeviceType model;
  std::uint32_t hours;
  const char* tamper;  // "", "newest" (the base's newest hourly record), "foreign" (another instrument's file)
  const char* expectLog;
};

class CliNewRecords : public ::testing::TestWithParam<NewCase> {};

TEST_P(CliNewRecords, EqualsAFullReadMadeAtTheSameMoment) {
  const NewCase c = GetParam();
  BusRig rig({{c.model, 1}, {c.model, 2}}, sim::CarrierKind::Tcp);
  const fs::path first = rig.home / "first", full = rig.home / "full";
  CliRun r = RunCli(rig.Args(With({"read", "--address", "1", "--all"}, kAllKinds), first));
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path basePath = Lines(r.out).back();
  std::vector<std::uint8_t> base = FileBytes(basePath);

  if (std::string(c.tamper) == "newest") {
    const auto& h = rig.At(1).GetHistory();
    base[h.hourlyPointer + 9] ^= 0x40;
    std::ofstream(basePath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(base.data()), static_cast<std::streamsize>(base.size()));
  } else if (std::string(c.tamper) == "foreign") {
    r = RunCli(rig.Args(With({"read", "--address", "2", "--all"}, kAllKinds), rig.home / "other"));
    ASSERT_EQ(r.status, 0) << r.err;
  }
  const fs::path given = std::string(c.tamper) == "foreign" ? fs::path(Lines(r.out).back()) : basePath;
  const std::vector<std::uint8_t> givenBefore = FileBytes(given);

  for (auto& i : rig.instruments) i->Advance(c.hours);
  r = RunCli(rig.Args(With({"read", "--address", "1", "--base", given.string(), "--trace"}, kAllKinds), first));
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path fresh = Lines(r.out).back();
  EXPECT_NE(fresh, given);
  EXPECT_NE(r.err.find(c.expectLog), std::string::npos) << r.err;
  const CliRun f = RunCli(rig.Args(With({"read", "--address", "1", "--all"}, kAllKinds), full));
  ASSERT_EQ(f.status, 0) << f.err;
  EXPECT_EQ(FileBytes(fresh), FileBytes(Lines(f.out).back()));
  EXPECT_EQ(FileBytes(given), givenBefore) << "the base was changed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliNewRecords,
    ::testing::Values(NewCase{DeviceType::dtVTK0814C, 24, "", "часовые записи: 24 нов."},
                      NewCase{DeviceType::dtLDN08, 24, "", "часовые записи: 24 нов."},
                      NewCase{DeviceType::dtVTK0814CM, 800, "", "месячные записи: 1 нов."},
                      NewCase{DeviceType::dtVTK0814C, 5, "newest", "последняя запись файла-основы в приборе другая"},
                      NewCase{DeviceType::dtLDN08, 5, "newest", "последняя запись файла-основы в приборе другая"},
                      NewCase{DeviceType::dtVTK0814C, 5, "foreign", "не подходит (файл прибора"},
                      NewCase{DeviceType::dtLDN08, 5, "foreign", "не подходит (файл прибора"},
                      NewCase{DeviceType::dtLDN08, 24 * 70, "", "часовые записи читаются полностью"}));

TEST(CliNewRecordsVtk0812, ReadsEverythingAndSaysSo) {
  BusRig rig({{DeviceType::dtVTK0812, 1}}, sim::CarrierKind::Tcp);
  const CliRun r = RunCli(rig.Args({"read", "--address", "1", "--new"}, rig.home));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("VTK-08.12 не хранит указателей архивов"), std::string::npos) << r.err;
  EXPECT_EQ(FileBytes(Lines(r.out).back()), rig.At(1).ExpectedDumpBytes());
}

}  // namespace
}  // namespace statvtk::test
