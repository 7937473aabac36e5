// What an instrument reports is untrusted: a serial number or identification
// text with control characters, slashes or tabs never leaves the data folder,
// forges an output line or reaches the terminal raw; a closed terminal keeps
// what was fetched; output that went nowhere is exit 3.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "support/temp_folder.hpp"
#include "cli_runner.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "stats/stat_file.hpp"
#include "support/result_util.hpp"

namespace statvtk::test {
namespace {

namespace fs = std::filesystem;

sim::InstrumentOptions Options(DeviceType model, std::optional<std::string> serial,
                               std::optional<std::string> ident = {}) {
  sim::InstrumentOptions o;
  o.model = model;
  o.seed = 5;
  o.serial = std::move(serial);
  o.ident = std::move(ident);
  return o;
}

bool HasControl(const std::string& s, bool newlinesAllowed) {
  for (unsigned char c : s)
    if ((c < 0x20 && !(newlinesAllowed && c == '\n')) || c == 0x7F) return true;
  return false;
}

int Shell(const std::string& command) {
  const int st = std::system(command.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string Quoted(const std::vector<std::string>& args) {
  std::string s = "'" + CliPath() + "'";
  for (const auto& a : args) s += " '" + a + "'";
  return s;
}

TEST(UntrustedSerial, TheDownloadIsOneFileInTheDataFolder) {
  SimRig rig(Options(DeviceType::dtVTK0814C, std::string("1\n/x\x1b[2J")));
  const CliRun r = RunCli(rig.Args({"read", "--all", "--daily"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  const fs::path file = lines.back();
  EXPECT_TRUE(fs::is_regular_file(file)) << r.out;
  EXPECT_EQ(file.parent_path(), rig.home / "Data");
  EXPECT_EQ(file.filename().string().rfind("1##x#[2J-", 0), 0u) << file;
  EXPECT_EQ(fs::file_size(file), FileSize(DeviceType::dtVTK0814C));
  EXPECT_FALSE(HasControl(r.out, true)) << r.out;
  EXPECT_FALSE(HasControl(r.err, true)) << r.err;
  // The next read of what is new finds that file as its base.
  const CliRun again = RunCli(rig.Args({"read", "--new", "--daily"}));
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.err.find("Новые записи: основа " + file.string()), std::string::npos) << again.err;
  // show and info print the serial with its controls escaped.
  const CliRun shown = RunCli({"show", file.string()});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("Заводской номер: 1\\x0a/x\\x1b[2J"), std::string::npos) << shown.out;
  EXPECT_FALSE(HasControl(shown.out, true));
  const CliRun info = RunCli({"info", file.string(), "--home", rig.home.string()});
  EXPECT_EQ(info.status, 0) << info.err;
  for (const auto& line : Lines(info.out)) {
    EXPECT_FALSE(HasControl(line, false) && line.find('\t') == std::string::npos) << line;
    EXPECT_LE(std::count(line.begin(), line.end(), '\t'), 1) << line;
  }
  EXPECT_EQ(info.out.find('\x1b'), std::string::npos);
}

TEST(UntrustedIdentification, IsPrintedEscapedAndCannotForgeALine) {
  SimRig rig(Options(DeviceType::dtVTK0812, {}, std::string("VTK-612\x1b[2J\tforged\n7\t9600\tX")));
  const CliRun id = RunCli(rig.Args({"identify"}));
  ASSERT_EQ(id.status, 0) << id.err;
  EXPECT_EQ(Lines(id.out).front(), "VTK-612\\x1b[2J\\x09forged\\x0a7\\x099600\\x09X");
  const CliRun scan = RunCli(rig.Args({"scan", "--addresses", "1"}));
  ASSERT_EQ(scan.status, 0) << scan.err;
  const auto lines = Lines(scan.out);
  ASSERT_EQ(lines.size(), 1u) << scan.out;
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), '\t'), 3) << lines[0];
  EXPECT_FALSE(HasControl(scan.err, true)) << scan.err;
}

// The terminal or SSH session closing during a read stops it as Ctrl+C does:
// the records fetched so far are kept.
TEST(ClosedTerminal, SighupKeepsTheRecordsFetched) {
  SimRig rig(Options(DeviceType::dtVTK0814C, {}), sim::CarrierKind::Tcp, false, 115200);
  const CliRun r = RunCli(
      rig.Args({"read", "--all", "--daily", "--monthly"}), std::chrono::seconds(60),
      [](const std::string& err) { return err.find("* Чтение суточных записей") != std::string::npos; }, SIGHUP);
  EXPECT_EQ(r.status, 130) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_FALSE(lines.empty()) << r.err;
  EXPECT_EQ(fs::file_size(lines.back()), FileSize(DeviceType::dtVTK0814C));
}

TEST(StandardOutput, GoingNowhereIsExit3ForEveryCommand) {
  SimRig rig(Options(DeviceType::dtVTK0812, {}));
  const CliRun read = RunCli(rig.Args({"read", "--all", "--daily"}));
  ASSERT_EQ(read.status, 0) << read.err;
  const std::string file = Lines(read.out).back();
  const std::vector<std::vector<std::string>> commands{
      rig.Args({"identify"}),
      rig.Args({"current"}),
      rig.Args({"scan", "--addresses", "1"}),
      rig.Args({"read", "--all", "--daily"}),
      {"info", file, "--home", rig.home.string()},
      {"show", file},
      {"--version"},
  };
  for (const auto& args : commands) {
    EXPECT_EQ(Shell(Quoted(args) + " > /dev/full 2>/dev/null"), 3) << Quoted(args);
    EXPECT_EQ(Shell(Quoted(args) + " > /dev/null 2>/dev/null"), 0) << Quoted(args);
  }
}

}  // namespace
}  // namespace statvtk::test
