// statvtk-collect run on a PostgreSQL primary with a streaming standby,
// reached through one multi-host URL: the primary goes away in the middle of
// the passes, the standby is promoted, and the collection goes on against it
// with every read finished, nothing lost and nothing counted twice.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "collect/views/json_shapes.hpp"
#include "fleet_e2e.hpp"
#include "store/record_store.hpp"
#include "support/free_port.hpp"
#include "support/pg_cluster.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;

// (archive, period) -> raw of every record of the store, by serial.
std::map<std::string, std::map<std::string, std::string>> AllRecords(store::RecordStore& s) {
  std::map<std::string, std::map<std::string, std::string>> out;
  for (const auto& in : s.Instruments().value())
    for (const auto kind : store::kArchiveKinds)
      for (const auto& r : s.Records({in.serial, kind, "", "", 0}).value())
        out[in.serial][std::string(store::ArchiveName(kind)) + " " + r.period] = r.raw;
  return out;
}

TEST(StoreFailover, CollectionGoesOnAgainstThePromotedStandbyWithNothingLostOrTwice) {
  test::PgCluster primary, standby;
  ASSERT_TRUE(primary.Init()) << primary.Log();
  ASSERT_TRUE(primary.CreateDatabase("fleet"));
  ASSERT_TRUE(standby.InitStandbyOf(primary)) << standby.Log();
  link_test::TempFolder home, fresh;
  // Each reply 40 ms late: a read of what is new in the days and months
  // (about 22 requests) takes close to a second, the first (about 540) 20 s.
  test::SimOnTcp sim(home.Path(),
                     {"--model", "0814c", "--address", "3", "--now", "2026-12-08 10:30:00", "--latency", "40", "-v"});
  ASSERT_GT(sim.Port(), 0);
  const int http = test::FreeLoopbackPort();
  const std::string url = "postgresql://postgres@127.0.0.1:" + std::to_string(primary.Port()) +
                          ",127.0.0.1:" + std::to_string(standby.Port()) + "/fleet?target_session_attrs=read-write";
  link_test::WriteAll(home.Path() / "collect.ini",
                      "[Collector]\nDatabase=" + url + "\nHttp=127.0.0.1:" + std::to_string(http) +
                          "\nRetryFirst=1\nOrigin=a\n\n" + test::LineSection("site", sim.Port()) +
                          test::InstrumentSection("a", "site", 3) + "Every=2\nKinds=daily,monthly\n\n");
  const auto out = home.Path() / "collect.out";
  httplib::Client client("127.0.0.1", http);
  client.set_connection_timeout(2);
  client.set_read_timeout(5);
  const auto storeSays = [&](int status, const char* store) {
    const auto h = client.Get("/health");
    return h && h->status == status && Json::parse(h->body, nullptr, false).value("store", "") == store;
  };
  // Reads that stored new records, on the server answering at `cluster`.
  const auto newReads = [](test::PgCluster& cluster) {
    const std::string n = cluster.Sql("SELECT COUNT(*) FROM reads WHERE outcome = 'done' AND added > 0", "fleet");
    return !n.empty() && std::all_of(n.begin(), n.end(), ::isdigit) ? std::stoi(n) : 0;  // no table yet: 0
  };

  const auto readsStarted = [&] { return test::Occurrences(link_test::ReadAll(out), "Чтение данных"); };
  const auto replies = [&] { return sim.Said("reply of"); };

  auto run = test::CollectInBackground(home.Path(), "run");
  ASSERT_TRUE(WaitUntil([&] { return newReads(primary) >= 1; }, 180s)) << link_test::ReadAll(out);
  ASSERT_TRUE(sim.Advance());  // a day passes in the instrument
  ASSERT_TRUE(WaitUntil([&] { return newReads(primary) >= 2; }, 60s)) << link_test::ReadAll(out);

  // The primary goes away in the middle of a read, a few replies into it (a
  // fast shutdown hands its WAL to the standby first); no server takes writes.
  const std::size_t started = readsStarted();
  ASSERT_TRUE(WaitUntil([&] { return readsStarted() > started; }, 60s)) << link_test::ReadAll(out);
  const std::size_t repliedBefore = replies();
  ASSERT_TRUE(WaitUntil([&] { return replies() >= repliedBefore + 10; }, 60s)) << link_test::ReadAll(out);
  primary.Stop();
  ASSERT_TRUE(sim.Advance());
  ASSERT_TRUE(WaitUntil([&] { return storeSays(503, "down"); }, 60s)) << link_test::ReadAll(out);
  // Reads wait for the store: once the read in flight is over, the
  // instrument is not asked while no server takes writes, however often
  // its read comes due and fails at the start.
  ASSERT_TRUE(WaitUntil([&] { return link_test::ReadAll(out).find("ничего не записано") != std::string::npos; }, 60s))
      << link_test::ReadAll(out);
  const std::size_t asked = replies();
  const long failed = test::FailedReads(http, "site");
  ASSERT_GE(failed, 0) << link_test::ReadAll(out);
  ASSERT_TRUE(WaitUntil([&] { return test::FailedReads(http, "site") >= failed + 2; }, 60s)) << link_test::ReadAll(out);
  EXPECT_EQ(replies(), asked) << link_test::ReadAll(out);

  ASSERT_TRUE(standby.Promote()) << standby.Log();
  ASSERT_TRUE(WaitUntil([&] { return storeSays(200, "ok"); }, 60s)) << link_test::ReadAll(out);
  const int before = newReads(standby);
  // The outage's day is collected from the new primary.
  ASSERT_TRUE(WaitUntil([&] { return newReads(standby) >= before + 1; }, 60s)) << link_test::ReadAll(out);
  ASSERT_TRUE(
      WaitUntil([&] { return standby.Sql("SELECT COUNT(*) FROM reads WHERE outcome IS NULL", "fleet") == "0"; }));
  EXPECT_EQ(run.Stop(SIGTERM, 60s), 0) << link_test::ReadAll(out);
  // The servers' reasons are said on one line each (libpq's hints come on
  // lines of their own): every line of the log is one stamped event.
  std::istringstream log(link_test::ReadAll(out));
  for (std::string line; std::getline(log, line);) EXPECT_EQ(line.rfind("[", 0), 0u) << line;

  // Every read finished, the one cut by the failover as failed; each record
  // added by exactly one read.
  EXPECT_EQ(standby.Sql("SELECT COUNT(*) FROM reads WHERE outcome IS NULL", "fleet"), "0");
  EXPECT_EQ(standby.Sql("SELECT COUNT(*) FROM reads WHERE outcome = 'failed' AND added = 0", "fleet"), "1");
  EXPECT_EQ(standby.Sql("SELECT SUM(added) FROM reads", "fleet"), standby.Sql("SELECT COUNT(*) FROM records", "fleet"));
  // The store holds every record one full read of the instruments now gives,
  // byte for byte (and the older ones their memory no longer keeps).
  link_test::WriteAll(fresh.Path() / "collect.ini",
                      "[Collector]\nOrigin=check\n\n" + test::LineSection("site", sim.Port()) +
                          test::InstrumentSection("a", "site", 3) + "Kinds=daily,monthly\n");
  ASSERT_EQ(test::Collect(fresh.Path(), {"once"}), 0) << link_test::ReadAll(fresh.Path() / "collect.out");
  auto full = store::OpenRecordStore("collect.sqlite", fresh.Path());
  auto failedOver = store::OpenRecordStore(standby.Url("fleet"), fresh.Path());
  ASSERT_TRUE(full && failedOver);
  const auto want = AllRecords(**full);
  auto held = AllRecords(**failedOver);
  ASSERT_EQ(want.size(), 1u);
  for (const auto& [serial, records] : want) {
    std::size_t missing = 0;
    for (const auto& [key, raw] : records) missing += held[serial].count(key) == 0 || held[serial][key] != raw;
    EXPECT_EQ(missing, 0u) << serial << " of " << records.size();
  }
}

}  // namespace
}  // namespace statvtk::collect
