// statvtk-cli end to end against the simulated instrument served on loopback
// TCP, on a pseudo-terminal and behind the simulated modem.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/temp_folder.hpp"
#include "cli_runner.hpp"
#include "sim/expected_dump.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "stats/stat_file.hpp"
#include "support/result_util.hpp"

namespace statvtk::test {
namespace {

namespace fs = std::filesystem;

// True when `s` holds `pattern`, where '9' stands for any digit.
bool HasShape(const std::string& s, const std::string& pattern) {
  for (std::size_t at = 0; at + pattern.size() <= s.size(); ++at) {
    bool ok = true;
    for (std::size_t i = 0; i < pattern.size() && ok; ++i)
      ok = pattern[i] == '9' ? (s[at + i] >= '0' && s[at + i] <= '9') : s[at + i] == pattern[i];
    if (ok) return true;
  }
  return false;
}

const char* kAll[] = {"read", "--all", "--hourly", "--daily", "--monthly", "--events"};

// The LDN-08 reads over M-Bus with its 32-bit address only.
class TcpFullRead : public ::testing::TestWithParam<DeviceType> {};

TEST_P(TcpFullRead, WritesTheSimulatorsDump) {
  SimRig rig(GetParam());
  ASSERT_TRUE(rig.server);
  auto args = rig.Args({std::begin(kAll), std::end(kAll)}, rig.Tcp());
  if (GetParam() == DeviceType::dtLDN08)
    args.insert(args.end(), {"--mbus", "--address", std::to_string(rig.instrument.Options().longAddress)});
  const CliRun r = RunCli(args);
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path file = LastLine(r.out);
  EXPECT_EQ(file.parent_path(), rig.home / "Data");
  const auto bytes = FileBytes(file);
  const auto dump = rig.instrument.ExpectedDumpBytes();
  ASSERT_EQ(bytes.size(), dump.size());
  // VTK-08.14 "all" reads 87 of the 88 event blocks; the 88th stays zero.
  const bool vtk0814 = GetParam() == DeviceType::dtVTK0814C || GetParam() == DeviceType::dtVTK0814CM;
  const std::size_t skipFrom = vtk0814 ? 125440 + 87 * 64 : dump.size();
  const std::size_t skipTo = vtk0814 ? 125440 + 88 * 64 : dump.size();
  for (std::size_t i = 0; i < dump.size(); ++i)
    ASSERT_EQ(bytes[i], (i >= skipFrom && i < skipTo) ? 0 : dump[i]) << "byte " << i;
  EXPECT_TRUE(HasShape(r.err, "[99.99.9999 99:99:99]  OpenPort: IP 127.0.0.1:" + std::to_string(rig.server->Port())));
  EXPECT_NE(r.err.find("[1] Определение типа устройства..."), std::string::npos);
  EXPECT_NE(r.err.find("Чтение статистики успешно завершено ("), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Models, TcpFullRead,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08));

// Each value refused: the settings' own test; here the exit status and that
// nothing connects.
TEST(CliRead, OutOfRangeSettingsStartNoJob) {
  SimRig rig(DeviceType::dtVTK0812);
  ASSERT_TRUE(rig.server);
  std::ofstream(rig.home / "StatVTK.ini") << "[Settings]\nNetAddress=300\n";
  CliRun r = RunCli(rig.Args({"identify"}, rig.Tcp()));
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("NetAddress=300"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("0..255"), std::string::npos) << r.err;
  EXPECT_EQ(rig.server->Connections(), 0u);
  // SockPort is laid over by --tcp; without it the file's port is used.
  std::ofstream(rig.home / "StatVTK.ini") << "[Settings]\nConnectMode=2\nSockIP=127.0.0.1\nSockPort=100645\n";
  r = RunCli(rig.Args({"identify"}, {}));
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("SockPort=100645"), std::string::npos) << r.err;
}

// A VTK-08.14 CM read, then its .814 file opened: the CM tables, remembered
// by serial number; in a home that does not know it, C unless --member CM.
TEST(CliRead, Vtk0814CmFileReopenedUsesTheRememberedMember) {
  SimRig rig(DeviceType::dtVTK0814CM);
  ASSERT_TRUE(rig.server);
  const CliRun r = RunCli(rig.Args({"read", "--last", "1", "1", "--hourly"}, rig.Tcp()));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string file = LastLine(r.out);
  const CliRun known = RunCli({"info", file, "--home", rig.home.string()});
  ASSERT_EQ(known.status, 0) << known.err;
  EXPECT_NE(known.out.find("Таблицы исполнения CM (запомнено"), std::string::npos) << known.out;

  const fs::path elsewhere = rig.home / "elsewhere";
  fs::create_directories(elsewhere);
  const CliRun unknown = RunCli({"info", file, "--home", elsewhere.string()});
  ASSERT_EQ(unknown.status, 0) << unknown.err;
  EXPECT_NE(unknown.out.find("Таблицы исполнения C: исполнение прибора неизвестно"), std::string::npos);
  const CliRun given = RunCli({"info", file, "--home", elsewhere.string(), "--member", "CM"});
  ASSERT_EQ(given.status, 0) << given.err;
  EXPECT_NE(given.out.find("Таблицы исполнения CM (указано"), std::string::npos);
  // The technical rows of the remembered and the given member agree.
  EXPECT_EQ(known.out.substr(0, known.out.rfind("Таблицы")), given.out.substr(0, given.out.rfind("Таблицы")));
  EXPECT_EQ(RunCli({"info", file, "--member", "X"}).status, 2);
  const CliRun shown = RunCli({"show", file, "--json", "--home", rig.home.string()});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("\"model\":\"VTK-08.14 CM\""), std::string::npos) << shown.out.substr(0, 80);
}

TEST(CliRead, OverAPseudoTerminal) {
  SimRig rig(DeviceType::dtVTK0812, sim::CarrierKind::Pty);
  ASSERT_TRUE(rig.server);
  const CliRun r = RunCli(rig.Args({std::begin(kAll), std::end(kAll)}, {"--serial", (rig.home / "tty").string()}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FileBytes(LastLine(r.out)), rig.instrument.ExpectedDumpBytes());
  EXPECT_NE(r.err.find("OpenPort: Port " + (rig.home / "tty").string() + ", 57600"), std::string::npos) << r.err;
}

TEST(CliRead, ThroughTheModem) {
  SimRig rig(DeviceType::dtVTK0814C, sim::CarrierKind::Pty, 3, true);
  ASSERT_TRUE(rig.server);
  // The modem's echo is switched off by the initialisation string, and the
  // connect wait kept short, from the settings file as a user would set them.
  { std::ofstream(rig.home / "StatVTK.ini") << "[Modem]\nInitString=ATE0\nConnectWait=5\n"; }
  const CliRun r = RunCli(rig.Args({"read", "--last", "2", "2", "--daily"},
                                   {"--modem", (rig.home / "tty").string(), "--phone", "5551234"}));
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* l : {"Инициализация модема...", ">>>AT", ">>>ATDT5551234", "CONNECT", ">>>+++ATH0",
                        "Чтение статистики успешно завершено ("})
    EXPECT_NE(r.err.find(l), std::string::npos) << l << "\n" << r.err;
  const auto bytes = FileBytes(LastLine(r.out));
  EXPECT_EQ(bytes.size(), FileSize(DeviceType::dtVTK0814C));
}

TEST(CliRead, UnwritableDataFolderWritesToOut) {
  SimRig rig(DeviceType::dtVTK0812);
  { std::ofstream(rig.home / "Data") << "not a folder"; }
  const fs::path out = rig.home / "saved.vst";
  auto args = rig.Args({std::begin(kAll), std::end(kAll)}, rig.Tcp());
  args.insert(args.end(), {"--out", out.string()});
  const CliRun r = RunCli(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(LastLine(r.out), out.string());
  EXPECT_EQ(FileBytes(out), rig.instrument.ExpectedDumpBytes());
  EXPECT_NE(r.err.find("Ошибка записи файла статистики."), std::string::npos);
}

TEST(CliRead, CtrlCDuringTheVtk0812ReadWritesNothing) {
  SimRig rig(DeviceType::dtVTK0812, sim::CarrierKind::Tcp, 3, false, 115200);
  const CliRun r = RunCli(rig.Args({std::begin(kAll), std::end(kAll)}, rig.Tcp()), std::chrono::seconds(60),
                          [](const std::string& err) { return err.find("* Чтение статистики") != std::string::npos; });
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_FALSE(fs::exists(rig.home / "Data") && !fs::is_empty(rig.home / "Data"));
  EXPECT_NE(r.err.find("Текущая операция прервана по желанию пользователя"), std::string::npos);
}

TEST(CliRead, InstrumentFallingSilentMidReadExitsOneAndKeepsTheFetchedBlocks) {
  // 1 identification + 8 RTC + 1 RAM + 32 configuration replies, then 300 Data EEPROM blocks.
  constexpr std::size_t kBlocks = 300;
  SimRig rig(DeviceType::dtVTK0812, sim::CarrierKind::Tcp, 3, false, 0, 1 + 8 + 1 + 32 + kBlocks);
  ASSERT_TRUE(rig.server);
  auto args = rig.Args({std::begin(kAll), std::end(kAll)}, rig.Tcp());
  args.insert(args.end(), {"--reply-timeout", "100", "--retries", "1"});
  const CliRun r = RunCli(args);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Ошибка чтения Data EEPROM\nДополнительная информация: "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("успешно"), std::string::npos);
  const fs::path file = LastLine(r.out);
  ASSERT_EQ(file.parent_path(), rig.home / "Data") << r.out;
  EXPECT_NE(r.err.find("Записи, прочитанные до ошибки, записаны в файл " + file.string()), std::string::npos);
  // Which bytes it holds: the job's own test of a line going dead (LinkFailure).
  EXPECT_EQ(FileBytes(file).size(), FileSize(DeviceType::dtVTK0812));
}

// What show prints of a read file; the oldest record of a "last 24" read has
// no increment: JSON null, while the next record keeps its increment. (Its
// empty report cells: the hour block's OldestHour test; the increments'
// values: the simulator's dump test.)
TEST(CliRead, LastReadsOldestRecordHasNoIncrement) {
  SimRig rig(DeviceType::dtVTK0814C);
  ASSERT_TRUE(rig.server);
  const CliRun r = RunCli(rig.Args({"read", "--last", "24", "0", "--hourly"}, rig.Tcp()));
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path file = LastLine(r.out);

  const CliRun s = RunCli({"show", file.string(), "--json"});
  ASSERT_EQ(s.status, 0) << s.err;
  for (const char* k :
       {"\"model\":\"VTK-08.14 C\"", "\"serial\":", "\"current\":{",
        "\"hourly\":[{\"index\":0,\"pos\":", "\"forward_total\":", "\"counters\":[", "\"daily\":[", "\"events\":["})
    EXPECT_NE(s.out.find(k), std::string::npos) << k;
  const CliRun text = RunCli({"show", file.string()});
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("Модель: VTK-08.14 C"), std::string::npos) << text.out.substr(0, 200);
  const auto hourly = s.out.find("\"hourly\":[");
  ASSERT_NE(hourly, std::string::npos);
  const auto firstEnd = s.out.find('}', hourly);
  const std::string first = s.out.substr(hourly, firstEnd - hourly);
  const std::string second = s.out.substr(firstEnd, s.out.find('}', firstEnd + 1) - firstEnd);
  for (const char* k : {"\"forward_increment\":null", "\"reverse_increment\":null", "\"forward_mass_increment\":null",
                        "\"counter_increments\":null"})
    EXPECT_NE(first.find(k), std::string::npos) << k << " in " << first;
  EXPECT_EQ(second.find("null"), std::string::npos) << second;
  EXPECT_NE(second.find("\"counter_increments\":["), std::string::npos) << second;
}

TEST(CliRead, SilentInstrumentExitsOneWithTheIdentificationMessage) {
  SimRig rig(DeviceType::dtVTK0814C);
  auto args = rig.Args({"read", "--all", "--daily"}, rig.Tcp());
  args.insert(args.end(), {"--address", "9", "--reply-timeout", "40", "--retries", "1"});
  const CliRun r = RunCli(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("[3] Определение типа устройства..."), std::string::npos);
  // The cause in words, the same as the desktop shows.
  EXPECT_NE(r.err.find("Ошибка идентификации прибора.\nДополнительная информация: нет ответа за 40 мс (Тайм-аут [2])"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(r.out.empty());
}

TEST(CliRead, RefusedConnectionExitsOne) {
  SimRig rig(DeviceType::dtVTK0814C);
  const auto port = rig.server->Port();
  rig.server.reset();
  const CliRun r = RunCli(rig.Args({"read", "--all"}, {"--tcp", "127.0.0.1:" + std::to_string(port)}));
  EXPECT_EQ(r.status, 1);
  // A TCP failure named as this system names it.
#ifdef _WIN32
  const std::string head = "Ошибка WINSOCK соединения.";
#else
  const std::string head = "Ошибка TCP соединения.";
#endif
  EXPECT_NE(r.err.find(head + "\nДополнительная информация: соединение отвергнуто"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("WinSock"), std::string::npos) << r.err;
}

TEST(CliIdentifyCurrentShow, EachModel) {
  for (DeviceType t : {DeviceType::dtVTK0812, DeviceType::dtVTK0814CM, DeviceType::dtLDN08}) {
    SimRig rig(t);
    std::vector<std::string> conn = rig.Tcp();
    if (t == DeviceType::dtLDN08) conn.insert(conn.end(), {"--mbus", "--address", "12345678"});
    const CliRun id = RunCli(rig.Args({"identify", "--trace"}, conn));
    ASSERT_EQ(id.status, 0) << id.err;
    EXPECT_EQ(id.out, rig.instrument.IdentificationText() + "\n" + std::string(DeviceTypeName(t)) + "\n");
    EXPECT_TRUE(HasShape(id.err, "99:99:99.999  -> 55 ")) << id.err;

    const CliRun cur = RunCli(rig.Args({"current"}, conn));
    ASSERT_EQ(cur.status, 0) << cur.err;
    EXPECT_NE(cur.out.find("Текущие показания - прибор № "), std::string::npos);
    EXPECT_NE(cur.out.find("Текущий объемный расход: "), std::string::npos);
    EXPECT_TRUE(fs::is_empty(rig.home) || !fs::exists(rig.home / "Data"));
  }
}

TEST(CliExitCodes, UsageAndFiles) {
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{}, 2},
      {{"frobnicate"}, 2},
      {{"read", "--bogus"}, 2},
      {{"read", "--all", "--last", "1", "1"}, 2},
      {{"read", "--last", "1"}, 2},
      {{"read", "--tcp", "127.0.0.1"}, 2},
      {{"read", "--baud", "12345"}, 2},
      {{"current", "--interval", "0"}, 2},
      {{"show"}, 2},
      {{"show", "/nonexistent/file.vst"}, 3},
      {{"show", "/etc/hostname"}, 3},
      {{"--help"}, 0},
      {{"--version"}, 0},
  };
  for (const auto& c : cases) {
    const CliRun r = RunCli(c.args);
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(r.status, c.status) << joined << "\n" << r.err;
  }
  for (const char* cmd : {"read", "current", "identify", "show", "ports"}) {
    const CliRun r = RunCli({cmd, "--help"});
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_NE(r.out.find(std::string("Usage: statvtk-cli ") + cmd), std::string::npos) << cmd;
  }
}

}  // namespace
}  // namespace statvtk::test
