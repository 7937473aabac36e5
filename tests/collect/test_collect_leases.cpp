// Collectors sharing lines through leases in one PostgreSQL database, each
// `run` its own process with its own home: the lines spread, no line is read
// by two at once, a killed collector's lines are taken over, and a collector
// paused past its lease stores nothing of the read it was in; the leases
// are renewed on time however long the writer is busy.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include "collect/commands.hpp"
#include "collect/run/lease_keeper.hpp"
#include "collect/run/line_pool.hpp"
#include "collect/run/store_writer.hpp"
#include "fleet_e2e.hpp"
#include "support/kept_log.hpp"
#include "support/pg_cluster.hpp"

namespace statvtk::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kTtlS = 5;
constexpr int kEveryS = 3;
// The database's clock as the store writes its times.
const std::string kNow = "to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')";

class SharedLines : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pg_.Init()) << pg_.Log();
    ASSERT_TRUE(pg_.CreateDatabase("fleet"));
  }
  void TearDown() override {
    for (auto& [origin, run] : runs_)
      if (run.Running()) run.Stop(SIGKILL, 60s);
  }
  // `lines` simulators (`simArgs` added, and line i's own `perLine[i - 1]`), one instrument each.
  void Lines(int lines, std::vector<std::string> simArgs = {},
             const std::vector<std::vector<std::string>>& perLine = {}) {
    for (int i = 1; i <= lines; ++i) {
      std::vector<std::string> args{"--model", "0814c", "--seed", std::to_string(i)};
      args.insert(args.end(), simArgs.begin(), simArgs.end());
      if (static_cast<std::size_t>(i) <= perLine.size())
        args.insert(args.end(), perLine[i - 1].begin(), perLine[i - 1].end());
      const fs::path folder = dir_.Path() / ("sim" + std::to_string(i));
      fs::create_directories(folder);
      sims_.push_back(std::make_unique<SimOnTcp>(folder, args));
      ASSERT_GT(sims_.back()->Port(), 0);
    }
  }
  // The collect.ini every collector shares but for its Origin=.
  std::string Ini(const std::string& origin, const std::string& db = "fleet") const {
    std::string ini = "[Collector]\nDatabase=" + pg_.Url(db) + "\nOrigin=" + origin +
                      "\nLeaseTtl=" + std::to_string(kTtlS) + "s\nRetryFirst=1\n\n";
    for (std::size_t i = 0; i < sims_.size(); ++i) {
      const std::string line = "l" + std::to_string(i + 1);
      ini += LineSection(line, sims_[i]->Port()) + "Shared=1\n\n" +
             InstrumentSection("m" + std::to_string(i + 1), line, 1) + "Every=" + std::to_string(kEveryS) + "s\n\n";
    }
    return ini;
  }
  fs::path Home(const std::string& origin) const { return dir_.Path() / origin; }
  void Start(const std::string& origin) {
    fs::create_directories(Home(origin));
    link_test::WriteAll(Home(origin) / "collect.ini", Ini(origin));
    runs_.emplace(origin, CollectInBackground(Home(origin), "run"));
  }
  // psql's output; empty when it failed (the tables not made yet).
  std::string Sql(const std::string& sql, const std::string& db = "fleet") {
    std::string out = pg_.Sql(sql, db);
    return pg_.LastSqlStatus() == 0 ? out : std::string();
  }
  // origin -> lines held now.
  std::map<std::string, int> Held() {
    std::map<std::string, int> out;
    std::istringstream rows(Sql("SELECT origin, COUNT(*) FROM line_leases WHERE origin <> '' AND until_utc >= " + kNow +
                                " GROUP BY origin"));
    for (std::string row; std::getline(rows, row);)
      if (const auto bar = row.find('|'); bar != std::string::npos)
        out[row.substr(0, bar)] = std::stoi(row.substr(bar + 1));
    return out;
  }
  std::string Logs() {
    std::string out;
    for (auto& [origin, run] : runs_) out += "--- " + origin + "\n" + link_test::ReadAll(Home(origin) / "collect.out");
    return out;
  }
  // Pairs of reads of one line by two collectors whose times overlap (a
  // paused collector's read rolled back for its lost lease aside).
  std::string Overlaps() {
    return Sql(
        "SELECT COUNT(*) FROM reads a JOIN reads b ON a.line = b.line AND a.id < b.id AND a.origin <> b.origin "
        "WHERE a.ended_utc IS NOT NULL AND b.ended_utc IS NOT NULL AND a.started_utc < b.ended_utc AND "
        "b.started_utc < a.ended_utc AND COALESCE(a.error, '') NOT LIKE '%аренда линии потеряна%' AND "
        "COALESCE(b.error, '') NOT LIKE '%аренда линии потеряна%'");
  }
  bool Spread(int each) {
    const auto held = Held();
    return held.size() == runs_.size() &&
           std::all_of(held.begin(), held.end(), [&](const auto& h) { return h.second == each; });
  }

  link_test::TempFolder dir_;
  PgCluster pg_;
  std::vector<std::unique_ptr<SimOnTcp>> sims_;
  std::map<std::string, ChildProcess> runs_;
};

// Three collectors on six lines end up with two each, then one is killed:
// its lines are read by the others within LeaseTtl + Every= + one read, and
// the store equals full reads of every instrument, nothing stored twice.
TEST_F(SharedLines, ThreeCollectorsSpreadSixLinesNeverOverlapAndTakeOverAKilledOne) {
  Lines(6, {"--latency", "2"});
  for (const char* origin : {"c1", "c2", "c3"}) Start(origin);
  ASSERT_TRUE(WaitUntil([&] { return Spread(2); }, 60s)) << Logs();
  ASSERT_TRUE(
      WaitUntil([&] { return Sql("SELECT COUNT(DISTINCT line) FROM reads WHERE outcome = 'done'") == "6"; }, 60s))
      << Logs();

  std::vector<std::string> orphaned;
  {
    std::istringstream rows(Sql("SELECT line FROM line_leases WHERE origin = 'c3' AND until_utc >= " + kNow));
    for (std::string line; std::getline(rows, line);) orphaned.push_back(line);
  }
  ASSERT_EQ(orphaned.size(), 2u);
  const std::string lastId = Sql("SELECT MAX(id) FROM reads");
  runs_.at("c3").Stop(SIGKILL, 60s);
  // The leases as the killed one left them (renewed to the end).
  std::map<std::string, std::string> until;
  for (const auto& line : orphaned) until[line] = Sql("SELECT until_utc FROM line_leases WHERE line = '" + line + "'");
  const auto readAgain = [&] {
    for (const auto& line : orphaned)
      if (Sql("SELECT COUNT(*) FROM reads WHERE line = '" + line + "' AND outcome = 'done' AND id > " + lastId +
              " AND origin <> 'c3'") == "0")
        return false;
    return true;
  };
  ASSERT_TRUE(WaitUntil(readAgain, 180s)) << Logs();
  // Taken over only once the killed one's leases had run out.
  for (const auto& line : orphaned)
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM reads WHERE line = '" + line + "' AND id > " + lastId + " AND started_utc < '" +
                  until.at(line) + "'"),
              "0")
        << line;

  for (const char* origin : {"c1", "c2"}) EXPECT_EQ(runs_.at(origin).Stop(SIGTERM, 30s), 0) << Logs();
  EXPECT_EQ(Overlaps(), "0") << Sql("SELECT line, origin, started_utc, ended_utc FROM reads ORDER BY line, id");
  // Every lease was given back at the stop, the killed one's taken over.
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM line_leases WHERE origin <> ''"), "0") << Logs();

  // The same instruments read in full into an empty database.
  ASSERT_TRUE(pg_.CreateDatabase("whole"));
  fs::create_directories(Home("whole"));
  link_test::WriteAll(Home("whole") / "collect.ini", Ini("whole", "whole"));
  ASSERT_EQ(Collect(Home("whole"), {"once"}), 0) << link_test::ReadAll(Home("whole") / "collect.out");
  const std::string digest =
      "SELECT COUNT(*), md5(string_agg(serial || archive || period || raw, ',' ORDER BY serial, archive, period)) "
      "FROM records";
  EXPECT_EQ(Sql(digest), Sql(digest, "whole"));
  EXPECT_EQ(Sql("SELECT COUNT(DISTINCT serial) FROM records"), "6");
}

// Meters whose memories hold what real ones do (a clock reset to 2000, an
// hour repeated, unwritten slots of arbitrary bytes, a 0xA0 year, a
// VTK-08.14 CM of each of the first and the third): three collectors read them whole the first time
// without a lease lapsing or a read fenced, and stop soon after SIGTERM.
TEST_F(SharedLines, FirstReadsOfOddMemoriesKeepEveryLeaseAndAStopIsPrompt) {
  Lines(6, {"--latency", "2"},
        {{"--clock-reset", "170@300"},
         {"--clock-back", "200"},
         {"--garbage-slots", "--history-hours", "600"},
         {"--bad-year", "100"},
         {"--model", "0814cm", "--garbage-slots", "--history-hours", "900"},
         {"--model", "0814cm", "--clock-reset", "100@50"}});
  for (const char* origin : {"c1", "c2", "c3"}) Start(origin);
  ASSERT_TRUE(
      WaitUntil([&] { return Sql("SELECT COUNT(DISTINCT line) FROM reads WHERE outcome = 'done'") == "6"; }, 240s))
      << Logs();
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM reads WHERE error LIKE '%аренда линии потеряна%'"), "0") << Logs();
  EXPECT_EQ(Logs().find("аренда линии потеряна"), std::string::npos) << Logs();
  EXPECT_EQ(Overlaps(), "0");
  for (auto& [origin, run] : runs_) EXPECT_EQ(run.Stop(SIGTERM, 10s), 0) << origin << "\n" << Logs();
  // No period after the meters' clocks (2026-12-08) nor a row a period of a gap.
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM records WHERE period > '2026-12-09'"), "0");
  EXPECT_EQ(Sql("SELECT COUNT(*) > 60 FROM gaps"), "f");
}

// A collector paused (SIGSTOP) in a long read past its lease: another takes
// the line; continued, the paused one's read ends failed with the lease lost
// and nothing of it is stored.
TEST_F(SharedLines, ACollectorPausedPastItsLeaseStoresNothingOfItsRead) {
  Lines(1, {"--latency", "8", "-v"});
  for (const char* origin : {"c1", "c2"}) Start(origin);
  std::string reading;
  ASSERT_TRUE(WaitUntil(
      [&] {
        reading = Sql("SELECT id || '|' || origin FROM reads WHERE ended_utc IS NULL ORDER BY id DESC LIMIT 1");
        return !reading.empty();
      },
      60s))
      << Logs();
  const std::string id = reading.substr(0, reading.find('|'));
  const std::string paused = reading.substr(reading.find('|') + 1);
  const std::string other = paused == "c1" ? "c2" : "c1";
  const std::size_t replied = sims_[0]->Said("reply of");
  ASSERT_TRUE(WaitUntil([&] { return sims_[0]->Said("reply of") >= replied + 10; }, 60s));  // into its records
  ASSERT_EQ(kill(runs_.at(paused).Pid(), SIGSTOP), 0);
  // The lease expires unrenewed and the other collector takes the line.
  const bool taken = WaitUntil(
      [&] { return Sql("SELECT origin FROM line_leases WHERE line = 'l1' AND until_utc >= " + kNow) == other; }, 60s);
  ASSERT_EQ(kill(runs_.at(paused).Pid(), SIGCONT), 0);
  ASSERT_TRUE(taken) << Logs();
  ASSERT_TRUE(WaitUntil(
      [&] { return !Sql("SELECT outcome FROM reads WHERE id = " + id + " AND ended_utc IS NOT NULL").empty(); }, 60s))
      << Logs();
  EXPECT_EQ(Sql("SELECT outcome FROM reads WHERE id = " + id), "failed");
  EXPECT_NE(Sql("SELECT error FROM reads WHERE id = " + id).find("аренда линии потеряна"), std::string::npos) << Logs();
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM records WHERE read_id = " + id), "0");
  EXPECT_EQ(Sql("SELECT added FROM reads WHERE id = " + id), "0");
  const std::string log = link_test::ReadAll(Home(paused) / "collect.out");
  EXPECT_NE(log.find("[l1] аренда линии потеряна:"), std::string::npos) << log;
  // The line goes on being read, by the holder.
  ASSERT_TRUE(WaitUntil(
      [&] { return Sql("SELECT COUNT(*) FROM reads WHERE outcome = 'done' AND origin = '" + other + "'") != "0"; },
      120s))
      << Logs();
  for (auto& [origin, run] : runs_) EXPECT_EQ(run.Stop(SIGTERM, 30s), 0) << Logs();
  EXPECT_EQ(Overlaps(), "0") << Sql("SELECT id, origin, started_utc, ended_utc, outcome FROM reads ORDER BY id");
}

// once takes a shared line's lease for its read and gives it back; a line
// another collector holds is left to it, named in the log, and is no failure.
TEST_F(SharedLines, OnceReadsUnderTheLeaseAndSkipsALineAnotherHolds) {
  Lines(1);
  fs::create_directories(Home("c1"));
  link_test::WriteAll(Home("c1") / "collect.ini", Ini("c1"));
  ASSERT_EQ(Collect(Home("c1"), {"once"}), 0) << link_test::ReadAll(Home("c1") / "collect.out");
  EXPECT_EQ(Sql("SELECT origin || '|' || epoch FROM line_leases"), "|1");  // given back
  EXPECT_EQ(Sql("UPDATE line_leases SET origin = 'c9', epoch = 2, until_utc = '2099-01-01T00:00:00Z' RETURNING line"),
            "l1");
  ASSERT_EQ(Collect(Home("c1"), {"once"}), 0) << link_test::ReadAll(Home("c1") / "collect.out");
  const std::string log = link_test::ReadAll(Home("c1") / "collect.out");
  EXPECT_NE(log.find("[l1] линию читает сборщик c9 (аренда до 2099-01-01T00:00:00Z): пропущена"), std::string::npos)
      << log;
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM reads"), "1");
}

// The writer busy past the lease's time, in a read's transaction whose fence
// locked line a's row: the keeper, on its own connection, keeps renewing
// line b's lease all along (a's renewals give way to that row, not wait).
TEST(LeaseKeeper, RenewsOnTimeWhileTheWriterIsBusyPastTheLease) {
  PgCluster pg;
  ASSERT_TRUE(pg.Init()) << pg.Log();
  ASSERT_TRUE(pg.CreateDatabase("fleet"));
  link_test::TempFolder home;
  std::string ini = "[Collector]\nDatabase=" + pg.Url("fleet") + "\nOrigin=c1\nLeaseTtl=" + std::to_string(kTtlS) +
                    "s\nWorkers=2\n\n";
  for (const std::string line : {"a", "b"})
    ini += "[Line " + line + "]\nMode=tcp\nTcp=127.0.0.1:9\nShared=1\n\n[Instrument i" + line + "]\nLine=" + line +
           "\nAddress=1\n\n";
  const auto parsed = collect::ParseConfig("collect.ini", ini);
  ASSERT_TRUE(parsed.config) << parsed.Text("collect.ini");
  const auto cfg = std::make_shared<const collect::Config>(*parsed.config);
  auto written = store::OpenRecordStore(cfg->collector.database, home.Path(), collect::StoreOptionsOf(cfg->collector));
  ASSERT_TRUE(written) << written.error().reason;
  auto view = store::OpenRecordStore(cfg->collector.database, home.Path());
  ASSERT_TRUE(view) << view.error().reason;
  auto leases = collect::OpenLeaseStore(cfg->collector, home.Path());
  ASSERT_TRUE(leases) << leases.error().reason;
  collect::StoreWriter writer(**written);

  std::atomic<bool> holding{false}, release{false};
  std::atomic<int> readsOfA{0};
  collect::LineWork work{
      [](const collect::Config&, const collect::LineConfig&, const std::vector<const collect::InstrumentConfig*>& in) {
        std::vector<collect::Due> due;
        for (const auto* i : in) due.push_back({i, 0, 0, std::nullopt});
        return due;
      },
      [&](const collect::Config&, const collect::LineConfig& line, std::vector<collect::Due>& due, std::atomic<bool>&,
          std::int64_t epoch) {
        for (auto& d : due) d.at = std::time(nullptr) + 3600;
        if (line.name != "a" || readsOfA++ > 0) return true;
        // The read's rows: the fence first, then a transaction longer than the lease.
        writer.With([&](store::RecordStore& s) {
          store::StoreTransaction t(s);
          const auto fenced = s.RenewLease("a", "c1", epoch, kTtlS);
          holding = fenced && *fenced;
          WaitUntil([&] { return release.load(); }, 120s);
          holding = false;
          (void)t.Commit();
        });
        return true;
      }};
  KeptLog log;
  collect::LeaseKeeper keeper(std::move(*leases), cfg->collector, log.To());
  std::atomic<bool> request{false};
  collect::LinePool pool(work, request);
  pool.Apply(cfg);
  keeper.Start(pool);
  ASSERT_TRUE(WaitUntil([&] { return holding.load(); }, 60s)) << log.Text();

  // Line b as the database says it, looked at through a third connection
  // for twice the lease's time while the writer stays busy.
  std::string firstUntil, lastUntil;
  int looks = 0, heldLooks = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2 * kTtlS);
  while (std::chrono::steady_clock::now() < until) {
    const auto rows = (*view)->Leases();
    ASSERT_TRUE(rows) << rows.error().reason;
    for (const auto& row : *rows) {
      if (row.line != "b") continue;
      ++looks;
      if (row.held && row.origin == "c1") ++heldLooks;
      if (firstUntil.empty()) firstUntil = row.untilUtc;
      lastUntil = row.untilUtc;
    }
    std::this_thread::sleep_for(200ms);  // the step between looks
  }
  release = true;
  ASSERT_TRUE(WaitUntil([&] { return !holding.load(); }, 30s));
  EXPECT_GT(looks, 0);
  EXPECT_EQ(heldLooks, looks) << log.Text();
  EXPECT_GT(lastUntil, firstUntil) << log.Text();
  EXPECT_EQ(log.Count("[b] аренда линии потеряна"), 0u) << log.Text();
}

}  // namespace
}  // namespace statvtk::test
