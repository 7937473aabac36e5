// The collector's log under systemd: a line logged with its fields reaches
// the journal with them (the journal here is the test's own sink), and what
// the collector logs in a short simulated run is Russian, the machine words
// kept in the fields.
// Which old log files go (the collector's and the access log's).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <iterator>

#include "collect/commands.hpp"
#include "collect/run/collect_log.hpp"
#include "collect/run/collect_pass.hpp"
#include "collect/run/journal.hpp"
#include "collect/run/stop_request.hpp"
#include "fleet_e2e.hpp"
#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "store/record_store.hpp"
#include "support/free_port.hpp"
#include "support/temp_folder.hpp"
#include "support/wait_until.hpp"

namespace statvtk::collect {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Sent {
  LogPriority priority;
  std::string message;
  LogFields fields;
};

// A journal that keeps what it was sent; `takes` false: it refuses.
class RecordingJournal final : public JournalSink {
 public:
  RecordingJournal(std::vector<Sent>& sent, bool takes) : sent_(sent), takes_(takes) {}
  bool Send(LogPriority priority, const std::string& message, const LogFields& fields) override {
    sent_.push_back({priority, message, fields});
    return takes_;
  }

 private:
  std::vector<Sent>& sent_;
  bool takes_;
};

TEST(CollectJournal, ALineLoggedWithFieldsReachesTheJournalWithThemAndTheFileAsBefore) {
  link_test::TempFolder home;
  std::vector<Sent> sent;
  std::ostringstream err;
  CollectLog log(err, home.Path(), 30, "col-a", std::make_unique<RecordingJournal>(sent, true));
  // As the line pool binds a line's log, and a read its instrument.
  const LogTo line = log.To().OfLine("L1");
  line.With({.instrument = "boiler", .serial = "50179157"})("Прибор boiler (50179157): ошибка",
                                                            {.event = LogEvent::ReadFailed});
  line("ВНИМАНИЕ: база данных удалена");

  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].message, "[L1] Прибор boiler (50179157): ошибка");
  EXPECT_EQ(sent[0].fields.line, "L1");
  EXPECT_EQ(sent[0].fields.instrument, "boiler");
  EXPECT_EQ(sent[0].fields.serial, "50179157");
  EXPECT_EQ(sent[0].fields.origin, "col-a");
  EXPECT_EQ(EventWord(sent[0].fields.event), "read_failed");
  EXPECT_EQ(sent[0].priority, LogPriority::Warning);
  EXPECT_EQ(sent[1].fields.line, "L1");
  EXPECT_TRUE(sent[1].fields.instrument.empty());  // bound to the read's log only
  EXPECT_EQ(sent[1].priority, LogPriority::Warning);
  EXPECT_EQ(err.str(), "");  // the journal took them
  const std::string file = test::LogFiles(home.Path());
  EXPECT_NE(file.find("]  [L1] Прибор boiler (50179157): ошибка\n"), std::string::npos) << file;

  // A journal that refuses: the line goes to stderr instead.
  std::vector<Sent> refused;
  CollectLog fallback(err, home.Path(), 30, "col-a", std::make_unique<RecordingJournal>(refused, false));
  fallback.To().OfLine("L2")("Прибор well: прочитано", {.event = LogEvent::ReadOk});
  EXPECT_EQ(refused.size(), 1u);
  EXPECT_NE(err.str().find("[L2] Прибор well: прочитано\n"), std::string::npos) << err.str();
}

TEST(CollectJournal, StderrIsTheJournalOnlyWhenJournalStreamNamesIt) {
  link_test::TempFolder dir;
  std::ofstream(dir.Path() / "f") << "x";
  std::FILE* f = std::fopen((dir.Path() / "f").c_str(), "r");
  ASSERT_NE(f, nullptr);
  struct stat st {};
  ASSERT_EQ(::fstat(fileno(f), &st), 0);
  const std::string same = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  const std::string other = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1);
  EXPECT_TRUE(StreamIsJournal(fileno(f), same.c_str()));
  EXPECT_FALSE(StreamIsJournal(fileno(f), other.c_str()));
  EXPECT_FALSE(StreamIsJournal(fileno(f), nullptr));
  EXPECT_FALSE(StreamIsJournal(fileno(f), "garbage"));
  std::fclose(f);
}

// Words of Latin letters only, three or more, in a line (paths left out):
// what a Russian line may hold are names (of the run's line and instruments,
// the models, the read modes, the program and its file, the protocols, and
// the reading engine's "OpenPort", the desktop's own word kept as it is).
std::vector<std::string> ForeignWords(const std::string& line) {
  static const std::set<std::string> names = {"bus",  "boiler", "well", "new", "full", "statvtk", "collect", "ini",
                                              "HTTP", "http",   "MQTT", "VTK", "LDN",  "TCP",     "OpenPort"};
  std::vector<std::string> found;
  std::string word;
  const auto end = [&] {
    if (word.size() >= 3 && !names.contains(word)) found.push_back(word);
    word.clear();
  };
  std::istringstream tokens(line);
  for (std::string token; tokens >> token;) {
    if (token.find('/') != std::string::npos) continue;
    for (const char c : token) {
      if (std::isalpha(static_cast<unsigned char>(c))) word += c;
      else end();
    }
    end();
  }
  return found;
}

TEST(CollectJournal, AShortRunLogsRussianWithTheMachineWordsInTheFields) {
  std::vector<std::unique_ptr<sim::Instrument>> instruments;
  for (auto [model, address] : {std::pair{DeviceType::dtVTK0814C, 3u}, std::pair{DeviceType::dtLDN08, 7u}}) {
    sim::InstrumentOptions o;
    o.model = model;
    o.address = o.longAddress = address;
    o.seed = 10 + address;
    instruments.push_back(std::make_unique<sim::Instrument>(o));
  }
  const auto server = test::ServeOnTcp({instruments[0].get(), instruments[1].get()});
  ASSERT_TRUE(server);
  link_test::TempFolder folder;
  const fs::path home = folder.Path();
  std::ofstream(home / "collect.ini") << "[Collector]\nDatabase=collect.sqlite\nOrigin=col-t\nHttp=127.0.0.1:"
                                      << test::FreeLoopbackPort()
                                      << "\n\n[Line bus]\nMode=tcp\nTcp=127.0.0.1:" << server->Port()
                                      << "\nPacketConst=300\nByteConst=100\nPacketRetry=2\n\n"
                                      << test::InstrumentSection("boiler", "bus", 3)
                                      << test::InstrumentSection("well", "bus", 7);

  // The service: both read, collect.ini read again, stopped (at the end of the block).
  {
    test::RunInProcess service(home);
    EXPECT_TRUE(WaitUntil(
        [&] {
          const std::string t = test::LogFiles(home);
          return t.find("Прибор boiler (") != std::string::npos && t.find("Прибор well (") != std::string::npos;
        },
        120s))
        << test::LogFiles(home);
    ReloadRequest().store(true);
    EXPECT_TRUE(WaitUntil([&] { return test::LogFiles(home).find("прочитан заново") != std::string::npos; }, 60s));
  }
  // A line's pass with its log as the line pool binds it.
  std::vector<std::pair<std::string, LogFields>> logged;
  std::mutex mu;
  const LogTo log = LogTo([&](const std::string& text, const LogFields& fields) {
                      const std::scoped_lock lock(mu);
                      logged.emplace_back(text, fields);
                    }).OfLine("bus");
  const ConfigResult cfg = LoadConfig(home / "collect.ini");
  ASSERT_TRUE(cfg.config);
  auto store = store::OpenRecordStore("collect.sqlite", home);
  ASSERT_TRUE(store);
  StoreWriter writer(**store);
  std::vector<const InstrumentConfig*> due;
  for (const auto& in : cfg.config->instruments) due.push_back(&in);
  std::atomic<bool> stop{false};
  const auto passes = CollectLine(*cfg.config, cfg.config->lines[0], due, home, writer, stop, log);
  ASSERT_EQ(passes.size(), 2u);

  // Every line of the pass carries its line; a read's lines its instrument
  // and serial; each read's summary its machine word.
  std::map<std::string, std::string> summary;  // instrument -> event
  std::set<std::string> readLines;
  for (const auto& [text, fields] : logged) {
    EXPECT_TRUE(text.starts_with("[bus] ")) << text;
    EXPECT_EQ(fields.line, "bus") << text;
    if (fields.instrument.empty()) continue;
    const auto* p = fields.instrument == "boiler" ? &passes[0] : &passes[1];
    EXPECT_EQ(fields.serial, p->serial) << text;
    if (fields.event != LogEvent::None) summary[fields.instrument] = EventWord(fields.event);
    else readLines.insert(fields.instrument);
  }
  EXPECT_EQ(summary, (std::map<std::string, std::string>{{"boiler", "read_ok"}, {"well", "read_ok"}}));
  EXPECT_EQ(readLines, (std::set<std::string>{"boiler", "well"}));  // the engine's lines of each read

  // The table of what was logged: the service's file and the pass's lines.
  std::vector<std::string> table;
  std::istringstream file(test::LogFiles(home));
  for (std::string line; std::getline(file, line);) table.push_back(line.substr(line.find("]  ") + 3));
  for (const auto& entry : logged) table.push_back(entry.first);
  for (const char* said : {"statvtk-collect: приборов 2, линий 1", "HTTP: http://127.0.0.1:",
                           "statvtk-collect: collect.ini прочитан заново", "statvtk-collect: остановлен"})
    EXPECT_TRUE(std::any_of(table.begin(), table.end(), [&](const auto& l) { return l.find(said) == 0; })) << said;
  for (const auto& line : table) EXPECT_EQ(ForeignWords(line), std::vector<std::string>{}) << line;
}

TEST(CollectLogFiles, OnlyTheCollectorsLogsOlderThanTheDaysKeptGo) {
  link_test::TempFolder home;
  const auto folder = home.Path();
  for (const char* name : {"collect-2026-12-01.log", "collect-2026-12-06.log", "collect-2026-12-07.log",
                           "collect-2026-12-09.log", "collect-old.log", "notes-2026-12-01.log"})
    std::ofstream(folder / name) << "x\n";
  std::tm today{};
  today.tm_year = 2026 - 1900, today.tm_mon = 11, today.tm_mday = 9;
  EXPECT_EQ(RemoveOldLogs(folder, today, 3), 2u);
  for (const char* kept :
       {"collect-2026-12-07.log", "collect-2026-12-09.log", "collect-old.log", "notes-2026-12-01.log"})
    EXPECT_TRUE(std::filesystem::exists(folder / kept)) << kept;
}

// The HTTP access log's first line of a day removes its own kind's files
// beyond the days kept, not the collector's; the line is in the day's file.
TEST(CollectLogFiles, TheAccessLogsDaysBeyondLogDaysGoToo) {
  link_test::TempFolder home;
  const auto folder = home.Path() / "logs";
  std::filesystem::create_directories(folder);
  for (const char* name : {"http-2000-01-01.log", "http-2000-01-02.log", "collect-2000-01-01.log"})
    std::ofstream(folder / name) << "x\n";
  DailyLog access(home.Path(), "http", 3);
  std::tm today{};
  today.tm_year = 2026 - 1900, today.tm_mon = 11, today.tm_mday = 9;
  ASSERT_TRUE(access.Write(today, "GET /metrics 200\n"));
  ASSERT_TRUE(access.Write(today, "GET /health 200\n"));
  EXPECT_FALSE(std::filesystem::exists(folder / "http-2000-01-01.log"));
  EXPECT_FALSE(std::filesystem::exists(folder / "http-2000-01-02.log"));
  EXPECT_TRUE(std::filesystem::exists(folder / "collect-2000-01-01.log"));
  std::ifstream day(folder / "http-2026-12-09.log");
  const std::string written((std::istreambuf_iterator<char>(day)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, "GET /metrics 200\nGET /health 200\n");
}

}  // namespace
}  // namespace statvtk::collect
