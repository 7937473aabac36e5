// statvtk-cli with files that are not what they seem and outputs that cannot
// be written: a FIFO named like a statistics file, standard output on a full
// device or a closed pipe, a failed --out copy, a damaged serial number.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "support/temp_folder.hpp"
#include "support/result_util.hpp"
#include "support/silent_port.hpp"
#include "cli_runner.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "stats/stat_file.hpp"

namespace statvtk::test {
namespace {

namespace fs = std::filesystem;

using TempHome = link_test::TempFolder;

// A statistics file of the simulator's instrument of `model`.
fs::path WriteStatFile(const fs::path& dir, DeviceType model, const std::string& name, StatData* out = nullptr) {
  sim::InstrumentOptions o;
  o.model = model;
  StatData data = sim::Instrument(o).ExpectedDump();
  if (out) *out = data;
  const fs::path p = dir / name;
  EXPECT_TRUE(SaveStatFile(p, data).has_value());
  return p;
}

// Exit status of a shell command line (bash, so that PIPESTATUS is there).
int Shell(const std::string& line) {
  const std::string cmd = "bash -c '" + line + "' 2>/dev/null";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// True when `s` is well-formed UTF-8 (written out here, apart from the code under test).
bool ValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

TEST(CliFiles, AFifoNamedLikeAStatisticsFileIsRefusedAtOnce) {
  TempHome home;
  for (const char* name : {"a.vst", "b.814", "c.ldn"}) {
    const fs::path fifo = home.Path() / name;
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string cmd : {"show", "export", "info"}) {
      std::vector<std::string> args{cmd, fifo.string()};
      if (cmd != "show") args.insert(args.end(), {"--home", home.Path().string()});
      const CliRun r = RunCli(args, std::chrono::seconds(20));
      EXPECT_EQ(r.status, 3) << cmd << " " << name << "\n" << r.err;
      EXPECT_NE(r.err.find("FIFO"), std::string::npos) << r.err;
    }
  }
}

TEST(CliFiles, StandardOutputThatCannotBeWrittenIsExit3) {
  TempHome home;
  const fs::path file = WriteStatFile(home.Path(), DeviceType::dtVTK0812, "x.vst");
  const std::string cli = CliPath();
  for (const std::string& args :
       {"show " + file.string(), "show " + file.string() + " --json", "export " + file.string()}) {
    EXPECT_EQ(Shell(cli + " " + args + " > /dev/full"), 3) << args;
    // The reader is gone before the output (hundreds of kilobytes) is written.
    EXPECT_EQ(Shell("set -o pipefail; " + cli + " " + args + " | true"), 3) << args;
    EXPECT_EQ(Shell(cli + " " + args + " > /dev/null"), 0) << args;
  }
}

TEST(CliFiles, ShowJsonReplacesTheNonAsciiBytesOfADamagedSerial) {
  TempHome home;
  sim::InstrumentOptions o;
  o.model = DeviceType::dtVTK0812;
  StatData data = sim::Instrument(o).ExpectedDump();
  const std::uint8_t damaged[8] = {'1', '2', 0xFF, 0xC3, 0xA9, 0x80, '7', '8'};
  std::copy(std::begin(damaged), std::end(damaged), data.header.begin() + 512);
  const fs::path file = home.Path() / "d.vst";
  ASSERT_TRUE(SaveStatFile(file, data).has_value());
  const CliRun r = RunCli({"show", file.string(), "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string rep = "\xEF\xBF\xBD";
  EXPECT_NE(r.out.find("\"serial\":\"12" + rep + rep + rep + rep + "78\""), std::string::npos) << r.out.substr(0, 120);
  EXPECT_TRUE(ValidUtf8(r.out));
}

TEST(CliFiles, ReadOutCopyFailureIsExit3AndTheDataFileStays) {
  sim::InstrumentOptions o;
  o.model = DeviceType::dtVTK0814C;
  sim::Instrument inst(o);
  std::string error;
  std::unique_ptr<sim::Server> server;
  ASSERT_TRUE(Unpack(sim::Server::Start(inst, sim::ServerOptions{}), &server, &error)) << error;
  TempHome home;
  const CliRun r =
      RunCli({"read", "--all", "--hourly", "--tcp", "127.0.0.1:" + std::to_string(server->Port()), "--home",
              home.Path().string(), "--out", (home.Path() / "no-such-folder" / "x.814").string()});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("no-such-folder"), std::string::npos) << r.err;
  ASSERT_TRUE(fs::is_directory(home.Path() / "Data"));
  EXPECT_FALSE(fs::is_empty(home.Path() / "Data"));
}

// Ctrl+C while the TCP connect waits: a stop (its log line, exit 130), not
// a connection error.
TEST(CliStop, CtrlCDuringTheConnectIsAStop) {
  SilentPort port;
  ASSERT_NE(port.Port(), 0);
  TempHome home;
  std::ofstream(home.Path() / "StatVTK.ini") << "[Ethernet]\nConnectTimeout=60\n";
  const CliRun r = RunCli(
      {"identify", "--tcp", "127.0.0.1:" + std::to_string(port.Port()), "--home", home.Path().string()},
      std::chrono::seconds(30), [](const std::string& err) { return err.find("OpenPort: IP") != std::string::npos; });
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_NE(r.err.find("Текущая операция прервана по желанию пользователя"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Ошибка WINSOCK"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace statvtk::test
