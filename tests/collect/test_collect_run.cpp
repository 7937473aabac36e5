// statvtk-collect as its own process: SIGTERM wherever a line waits (a long
// reply wait of a silent instrument, a modem's dial) ends it long before the
// wait would, and cleanly while clients keep asking for its state; its log
// names this system's things, one event a line.
// Killed (SIGKILL) in the middle of a pass and run again: the store holds exactly
// what one clean pass gives, and SQLite finds it intact.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/unique_fd.hpp"
#include "fleet_e2e.hpp"
#include "store/record_store.hpp"
#include "support/free_port.hpp"

namespace statvtk::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Starts `run`, waits for `waiting` in its log (the line a wait of minutes
// begins with), then sends SIGTERM: the program must end cleanly within
// half a minute. A wait that does not look at the stop waits its minutes
// out (and is killed: a failure), whether the signal came before it began
// or during it.
void EndsOnTermWhile(const fs::path& home, const std::string& waiting) {
  ChildProcess run = CollectInBackground(home, "run");
  ASSERT_TRUE(
      WaitUntil([&] { return link_test::ReadAll(home / "collect.out").find(waiting) != std::string::npos; }, 60s))
      << link_test::ReadAll(home / "collect.out");
  EXPECT_EQ(run.Stop(SIGTERM, 30s), 0) << link_test::ReadAll(home / "collect.out");
  EXPECT_NE(link_test::ReadAll(home / "collect.out").find("statvtk-collect: остановлен"), std::string::npos);
}

TEST(CollectStop, TermDuringALongReplyWaitEndsTheProgram) {
  link_test::TempFolder dir;
  SimOnTcp sim(dir.Path(), {"--address", "5"});  // nobody answers address 3
  ASSERT_GT(sim.Port(), 0);
  const fs::path home = dir.Path() / "home";
  fs::create_directories(home);
  // Four reply waits of a minute each.
  std::ofstream(home / "collect.ini") << "[Collector]\nDatabase=collect.sqlite\n\n[Line bus]\nMode=tcp\nTcp=127.0.0.1:"
                                      << sim.Port() << "\nPacketConst=60000\nPacketRetry=3\n\n"
                                      << InstrumentSection("silent", "bus", 3);
  EndsOnTermWhile(home, "[1] Определение типа устройства...");
}

TEST(CollectStop, TermDuringAModemDialEndsTheProgram) {
  link_test::TempFolder dir;
  const fs::path tty = dir.Path() / "tty";
  // The call takes ten minutes to be answered; the collector waits 255 s.
  ChildProcess sim({BinaryDir() + "/statvtk-sim", "--pty", tty.string(), "--modem", "--dial-delay", "600000"},
                   dir.Path() / "sim.log");
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(tty); }));
  const fs::path home = dir.Path() / "home";
  fs::create_directories(home);
  std::ofstream(home / "collect.ini") << "[Collector]\nDatabase=collect.sqlite\n\n[Line dial]\nMode=modem\nModem="
                                      << tty.string() << "\nPhone=5551234\nConnectWait=255\n\n"
                                      << InstrumentSection("far", "dial", 1);
  EndsOnTermWhile(home, ">>>ATDT5551234");
}

// SIGTERM while clients keep asking for /metrics and the instruments, with a
// call-in line (its connection is on the page) and a broker that takes the
// connection and never answers it (the publisher's stop takes a while): the
// program ends cleanly, nothing read after it was gone (the sanitizer build
// aborts on that).
TEST(CollectStop, TermWhileClientsPollTheMetricsOfACallInLineEndsCleanly) {
  link_test::TempFolder dir;
  const fs::path home = dir.Path() / "home";
  fs::create_directories(home);
  UniqueFd broker(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(broker.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(broker.get(), 8), 0);
  ASSERT_EQ(::getsockname(broker.get(), reinterpret_cast<sockaddr*>(&a), &len), 0);
  const int http = FreeLoopbackPort();
  std::ofstream(home / "collect.ini") << "[Collector]\nDatabase=collect.sqlite\nHttp=127.0.0.1:" << http
                                      << "\nMqtt=127.0.0.1:" << ntohs(a.sin_port)
                                      << "\n\n[Listen gprs]\nListen=127.0.0.1:" << FreeLoopbackPort()
                                      << "\n\n[Line site-7]\nMode=incoming\nListen=gprs\nId=site-7\n\n"
                                      << InstrumentSection("well", "site-7", 1);
  ChildProcess run = CollectInBackground(home, "run");
  const auto log = [&] { return link_test::ReadAll(home / "collect.out"); };
  ASSERT_TRUE(WaitUntil([&] { return log().find("HTTP: http://") != std::string::npos; }, 30s)) << log();
  std::atomic<bool> polling{true};
  std::atomic<int> answered{0};
  {
    std::vector<std::jthread> clients;
    for (const char* path : {"/metrics", "/api/instruments", "/metrics", "/api/instruments"})
      clients.emplace_back([&, path] {
        while (polling.load()) {
          httplib::Client client("127.0.0.1", http);
          client.set_connection_timeout(1);
          client.set_read_timeout(5);
          if (const auto r = client.Get(path); r && r->status == 200) ++answered;
        }
      });
    EXPECT_TRUE(WaitUntil([&] { return answered.load() >= 20; }, 30s)) << log();
    EXPECT_EQ(run.Stop(SIGTERM, 60s), 0) << log();
    polling = false;
  }
  EXPECT_NE(log().find("statvtk-collect: остановлен"), std::string::npos) << log();
}

// A modem line whose call is answered BUSY: the read's error is the dial's
// outcome, not a reply the instrument never gave.
TEST(CollectLog, ABusyModemIsRecordedAsTheDialsOutcome) {
  link_test::TempFolder dir;
  const fs::path tty = dir.Path() / "tty";
  ChildProcess sim(
      {BinaryDir() + "/statvtk-sim", "--pty", tty.string(), "--modem", "--busy", "5", "--dial-delay", "50"},
      dir.Path() / "sim.log");
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(tty); }));
  const fs::path home = dir.Path() / "home";
  fs::create_directories(home);
  std::ofstream(home / "collect.ini") << "[Collector]\nDatabase=collect.sqlite\n\n[Line dial]\nMode=modem\nModem="
                                      << tty.string() << "\nPhone=5551234\nReconnects=1\n\n"
                                      << InstrumentSection("far", "dial", 1);
  ASSERT_EQ(Collect(home, {"once"}), 1) << link_test::ReadAll(home / "collect.out");
  auto s = ReadOnlyStore(home);
  ASSERT_TRUE(s) << s.error().reason;
  const auto reads = (*s)->Reads({}).value();
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].error, "Не удалось дозвониться по номеру 5551234: занято (попыток: 1)");
}

// A TCP line with nobody listening: the failure is a TCP failure in this
// system's words, on one line of the journal and of the log file.
TEST(CollectLog, ARefusedTcpConnectionIsOneLineInThisSystemsWords) {
  link_test::TempFolder dir;
  const fs::path home = dir.Path() / "home";
  fs::create_directories(home);
  std::ofstream(home / "collect.ini") << "[Collector]\nDatabase=collect.sqlite\n\n"
                                      << LineSection("bus", FreeLoopbackPort()) << InstrumentSection("far", "bus", 3);
  ASSERT_NE(Collect(home, {"once"}), 0);
  const std::string logs = link_test::ReadAll(home / "collect.out") + LogFiles(home);
  EXPECT_NE(logs.find("Ошибка TCP соединения: соединение отвергнуто"), std::string::npos) << logs;
  for (const char* word : {"WINSOCK", "WinSock", "\r"}) EXPECT_EQ(logs.find(word), std::string::npos) << word;
  // Every line is one stamped event.
  std::istringstream lines(logs);
  for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.rfind("[", 0), 0u) << line;
}

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void WriteHome(const fs::path& home, int port) {
  fs::create_directories(home);
  std::ofstream(home / "collect.ini") << "[Collector]\nDatabase=collect.sqlite\n\n"
                                      << LineSection("bus", port) << InstrumentSection("boiler", "bus", 3)
                                      << InstrumentSection("well", "bus", 7);
}

// Every period held, per serial and archive.
std::map<std::string, std::vector<std::string>> Held(const fs::path& home) {
  std::map<std::string, std::vector<std::string>> out;
  auto s = store::OpenRecordStore("collect.sqlite", home);
  EXPECT_TRUE(s);
  if (!s) return out;
  const auto instruments = (*s)->Instruments();
  EXPECT_TRUE(instruments);
  if (!instruments) return out;
  for (const auto& i : *instruments)
    for (ArchiveKind k : {ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly}) {
      auto periods = (*s)->Periods(i.serial, k, "", "");
      EXPECT_TRUE(periods);
      if (periods) out[i.serial + "/" + std::to_string(static_cast<int>(k))] = std::move(*periods);
    }
  EXPECT_TRUE((*s)->Check());
  return out;
}

TEST(CollectRestart, AKillDuringAPassLosesNothingAndDuplicatesNothing) {
  link_test::TempFolder dir;
  // A reply delay that makes each full read last a few seconds.
  SimOnTcp sim(dir.Path(), {"--bus", "0814c@3,ldn@7", "--latency", "2", "-v"});
  ASSERT_GT(sim.Port(), 0);
  const fs::path clean = dir.Path() / "clean", home = dir.Path() / "killed";
  WriteHome(clean, sim.Port());
  WriteHome(home, sim.Port());
  ASSERT_EQ(Collect(clean, {"once"}), 0) << link_test::ReadAll(clean / "collect.out");

  // Killed while the second instrument is being read, a few replies into
  // its records: the first one's read is over, nothing of the pass stored yet.
  {
    ChildProcess pass = CollectInBackground(home, "once");
    ASSERT_TRUE(WaitUntil(
        [&] { return link_test::ReadAll(home / "collect.out").find("Чтение данных (LDN-08)") != std::string::npos; },
        60s))
        << link_test::ReadAll(home / "collect.out");
    const std::size_t replied = sim.Said("reply of");
    ASSERT_TRUE(WaitUntil([&] { return sim.Said("reply of") >= replied + 10; }, 60s));
    ASSERT_TRUE(pass.Running()) << "the pass ended before it could be killed";
    pass.Stop(SIGKILL, 0ms);
  }
  ASSERT_EQ(Collect(home, {"once"}), 0) << link_test::ReadAll(home / "collect.out");

  const auto want = Held(clean), got = Held(home);
  ASSERT_EQ(want.size(), 6u);
  EXPECT_EQ(got, want);
  // The read the kill cut short is not claimed as done.
  auto s = store::OpenRecordStore("collect.sqlite", home);
  ASSERT_TRUE(s);
  const auto reads = (*s)->Reads({"", "well", 10, false});
  ASSERT_TRUE(reads);
  std::size_t done = 0;
  for (const auto& r : *reads) done += r.outcome == store::ReadOutcome::Done;
  EXPECT_EQ(done, 1u);
}

}  // namespace
}  // namespace statvtk::test
