// statvtk-collect against the real servers: MQTT messages of reads at a
// mosquitto broker (one per new record, in order, also across a broker that
// is down for a pass), and several collectors on disjoint lines filling one
// PostgreSQL database that may die in the middle of a pass.
// A PostgreSQL primary with a streaming standby behind one multi-host URL: the
// primary goes away mid-pass, the standby is promoted, collection goes on with
// nothing lost or counted twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <httplib.h>
#include <sstream>

#include "collect/views/json_shapes.hpp"
#include "fleet_e2e.hpp"
#include "store/record_store.hpp"
#include "support/free_port.hpp"
#include "support/mqtt_broker.hpp"
#include "support/mqtt_subscriber.hpp"
#include "support/pg_cluster.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;

// The records held whose values are the instrument's (a damaged one is kept
// for its place, not published).
std::int64_t StoredRecords(store::RecordStore& s, const std::string& serial, ArchiveKind kind) {
  auto rows = s.Records({serial, kind, "", "", 0});
  if (!rows) return -1;
  return std::count_if(rows->begin(), rows->end(), [](const store::RecordRow& r) { return r.valid; });
}

TEST(MqttCollect, ReadsPublishTheirRecordsOnceInOrderAcrossABrokerOutage) {
  test::MqttBroker broker;
  ASSERT_TRUE(broker.Init()) << broker.Log();
  test::MqttSubscriber sub(broker.Port(), "#", "fleet-test");
  ASSERT_TRUE(sub.Connect());
  link_test::TempFolder home;
  test::SimOnTcp sim(home.Path(), {"--bus", "0812@3,0814c@5,ldn@7", "--now", "2026-12-08 10:30:00"});
  ASSERT_GT(sim.Port(), 0);
  link_test::WriteAll(home.Path() / "collect.ini",
                      "[Collector]\nMqtt=127.0.0.1:" + std::to_string(broker.Port()) +
                          "\nMqttTopic=water/site1\nMqttDiscovery=1\nOrigin=test\n\n" +
                          test::LineSection("site", sim.Port()) + test::InstrumentSection("a", "site", 3) +
                          test::InstrumentSection("b", "site", 5) + test::InstrumentSection("c", "site", 7));
  ASSERT_EQ(test::Collect(home.Path(), {"once"}), 0) << link_test::ReadAll(home.Path() / "collect.out");

  // A day passes in the instruments while the broker is down: the pass is
  // not held up (past its limit a pass is killed, and fails).
  broker.Stop();
  ASSERT_TRUE(sim.Advance());
  ASSERT_EQ(test::Collect(home.Path(), {"once"}), 0) << link_test::ReadAll(home.Path() / "collect.out");
  ASSERT_TRUE(broker.Start()) << broker.Log();
  ASSERT_EQ(test::Collect(home.Path(), {"once"}), 0) << link_test::ReadAll(home.Path() / "collect.out");

  auto store = store::OpenRecordStore("collect.sqlite", home.Path());
  ASSERT_TRUE(store);
  auto instruments = (*store)->Instruments();
  ASSERT_TRUE(instruments);
  ASSERT_EQ(instruments->size(), 3u);
  std::int64_t expected = 0;
  for (const auto& i : *instruments)
    for (auto kind : store::kArchiveKinds) expected += StoredRecords(**store, i.serial, kind);
  auto outbox = (*store)->Peek("test", 10);
  ASSERT_TRUE(outbox);
  EXPECT_TRUE(outbox->empty());

  // Every record once, in period order per instrument and archive; three reads per instrument.
  ASSERT_TRUE(WaitUntil([&] { return sub.Count() >= static_cast<std::size_t>(expected); }, 60s)) << sub.Count();
  ASSERT_TRUE(sub.Flushed());               // nothing more comes
  std::map<std::string, std::string> last;  // topic -> newest period
  std::set<std::string> seen;
  std::map<std::string, int> reads, discovery;
  std::map<std::string, Json> state;
  std::int64_t records = 0;
  for (const auto& m : sub.Messages()) {
    // The situations' ON/OFF and their binary sensors: CollectSituations.
    if (m.topic.find("/situation/") != std::string::npos || m.topic.starts_with("homeassistant/binary_sensor/"))
      continue;
    const Json j = Json::parse(m.payload, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << m.topic;
    if (m.topic.starts_with("homeassistant/")) {
      // Retained copies come again with each new subscription (the broker's restart): not counted.
      if (!m.retain) ++discovery[j["device"]["serial_number"].get<std::string>()];
      continue;
    }
    ASSERT_TRUE(m.topic.starts_with("water/site1/")) << m.topic;
    const std::string kind = m.topic.substr(m.topic.rfind('/') + 1);
    if (kind == "read") {
      ++reads[j["serial"].get<std::string>()];
      EXPECT_EQ(j["outcome"], "done");
    } else if (kind == "state") {
      state[j["serial"].get<std::string>()] = j;
    } else {
      ++records;
      const std::string period = j["period"];
      EXPECT_TRUE(seen.insert(m.topic + " " + period).second) << "twice: " << m.topic << " " << period;
      EXPECT_LT(last[m.topic], period) << m.topic;
      last[m.topic] = period;
      EXPECT_TRUE(j.contains("forward_increment"));
    }
  }
  EXPECT_EQ(records, expected);
  for (const auto& i : *instruments) {
    EXPECT_EQ(reads[i.serial], 3) << i.serial;
    ASSERT_TRUE(state.contains(i.serial));
    EXPECT_EQ(state[i.serial]["period"], StoredRecords(**store, i.serial, ArchiveKind::Hourly) > 0
                                             ? Json((*store)->Stats(i.serial, ArchiveKind::Hourly)->newest)
                                             : Json(nullptr));
    EXPECT_TRUE(state[i.serial]["values"]["forward_total"].is_number());
  }
  // One sensor per total and flow the model has, sent with the first read of each process.
  std::map<std::string, int> perModel;
  for (const auto& i : *instruments) perModel[i.model] = discovery[i.serial];
  EXPECT_EQ(perModel["VTK-08.12"], 3 * 2);
  EXPECT_EQ(perModel["VTK-08.14 C"], 3 * 5);
  EXPECT_EQ(perModel["LDN-08"], 3 * 3);
}

// The collector's availability: "online" while it runs, "offline" from the
// broker itself (the will) when its process is killed, and from the
// collector when it stops cleanly; retained, so a late subscriber knows.
TEST(MqttCollect, TheStatusTopicSaysOfflineWhenTheCollectorIsKilledOrStops) {
  test::MqttBroker broker;
  ASSERT_TRUE(broker.Init()) << broker.Log();
  link_test::TempFolder home;
  link_test::WriteAll(home.Path() / "collect.ini", "[Collector]\nMqtt=127.0.0.1:" + std::to_string(broker.Port()) +
                                                       "\nMqttTopic=water\nOrigin=north\nRetryFirst=600\n\n" +
                                                       test::LineSection("site", test::FreeLoopbackPort()) +
                                                       test::InstrumentSection("a", "site", 3));
  const std::string topic = "water/collector/north/status";
  test::MqttSubscriber sub(broker.Port(), topic, "availability-test");
  ASSERT_TRUE(sub.Connect());
  auto said = [&](std::size_t n) {
    return sub.WaitForCount(n, 60s) ? sub.Messages()[n - 1].payload : "(nothing: " + std::to_string(sub.Count()) + ")";
  };
  for (const int signal : {SIGKILL, SIGTERM}) {
    test::ChildProcess run = test::CollectInBackground(home.Path(), "run");
    const std::size_t before = sub.Count();
    EXPECT_EQ(said(before + 1), "online") << link_test::ReadAll(home.Path() / "collect.out");
    run.Stop(signal, 60s);
    EXPECT_EQ(said(before + 2), "offline") << signal;
    test::MqttSubscriber late(broker.Port(), topic, "availability-late-" + std::to_string(signal));
    ASSERT_TRUE(late.Connect());
    ASSERT_TRUE(late.WaitForCount(1, 60s));
    EXPECT_EQ(late.Messages()[0].payload, "offline");
    EXPECT_TRUE(late.Messages()[0].retain);
  }
}

// A broker that stays away does not fill the disk: past MqttOutboxMax= the
// oldest record messages go, each instrument's retained state stays, the
// drop is counted once as a finding; the store keeps every record.
TEST(MqttCollect, TheOutboxStaysWithinItsBoundWhileTheBrokerIsDown) {
  link_test::TempFolder home;
  test::SimOnTcp sim(home.Path(), {"--bus", "0812@3,0814c@5,ldn@7", "--now", "2026-12-08 10:30:00"});
  ASSERT_GT(sim.Port(), 0);
  link_test::WriteAll(home.Path() / "collect.ini",
                      "[Collector]\nMqtt=127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) +
                          "\nMqttOutboxMax=10\nOrigin=test\n\n" + test::LineSection("site", sim.Port()) +
                          test::InstrumentSection("a", "site", 3) + test::InstrumentSection("b", "site", 5) +
                          test::InstrumentSection("c", "site", 7));
  ASSERT_EQ(test::Collect(home.Path(), {"once"}), 0) << link_test::ReadAll(home.Path() / "collect.out");
  ASSERT_EQ(test::Collect(home.Path(), {"once"}), 0) << link_test::ReadAll(home.Path() / "collect.out");
  auto store = store::OpenRecordStore("collect.sqlite", home.Path());
  ASSERT_TRUE(store);
  auto waiting = (*store)->Peek("test", 1000000);
  ASSERT_TRUE(waiting);
  // Besides the situations' retained ON/OFF, which stay like the state.
  EXPECT_LE(std::count_if(waiting->begin(), waiting->end(),
                          [](const auto& m) { return m.topic.find("/situation/") == std::string::npos; }),
            10);
  std::set<std::string> states;
  for (const auto& m : *waiting)
    if (m.topic.ends_with("/state")) states.insert(m.topic);
  EXPECT_EQ(states.size(), 3u);
  std::int64_t stored = 0;
  for (const auto& i : (*store)->Instruments().value())
    for (auto kind : store::kArchiveKinds) stored += StoredRecords(**store, i.serial, kind);
  EXPECT_GT(stored, 100);
  int overflows = 0;
  for (const auto& f : (*store)->Findings("").value()) overflows += f.kind == store::FindingKind::OutboxOverflow;
  EXPECT_EQ(overflows, 2);  // once by each process
}

class PgCollect : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pg_.Init()) << pg_.Log();
    ASSERT_TRUE(pg_.CreateDatabase("fleet"));
  }
  std::string Count(const std::string& sql) { return pg_.Sql(sql, "fleet"); }
  test::PgCluster pg_;
};

TEST_F(PgCollect, TwoCollectorsOnDisjointLinesFillOneDatabaseOnceAndSurviveItsDeath) {
  link_test::TempFolder a, b;
  test::SimOnTcp simA(a.Path(), {"--bus", "0812@3,ldn@7", "--now", "2026-12-08 10:30:00"});
  test::SimOnTcp simB(b.Path(), {"--model", "0814c", "--seed", "9", "--now", "2026-12-08 10:30:00", "--latency", "1"});
  ASSERT_GT(simA.Port(), 0);
  ASSERT_GT(simB.Port(), 0);
  const std::string db = "[Collector]\nDatabase=" + pg_.Url("fleet") + "\n";
  link_test::WriteAll(a.Path() / "collect.ini", db + "Origin=a\n\n" + test::LineSection("north", simA.Port()) +
                                                    test::InstrumentSection("boiler", "north", 3) +
                                                    test::InstrumentSection("pump", "north", 7));
  link_test::WriteAll(b.Path() / "collect.ini", db + "Origin=b\n\n" + test::LineSection("south", simB.Port()) +
                                                    test::InstrumentSection("substation", "south", 1));
  {
    auto runA = test::CollectInBackground(a.Path(), "once");
    auto runB = test::CollectInBackground(b.Path(), "once");
    EXPECT_EQ(runA.Wait(120s), 0) << link_test::ReadAll(a.Path() / "collect.out");
    EXPECT_EQ(runB.Wait(120s), 0) << link_test::ReadAll(b.Path() / "collect.out");
  }
  const std::string records = Count("SELECT COUNT(*) FROM records");
  const std::string events = Count("SELECT COUNT(*) FROM events");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), "3");
  EXPECT_EQ(Count("SELECT COUNT(DISTINCT serial) FROM records"), "3");
  EXPECT_GT(std::stoi(records), 3000);

  // A third pass, from either, adds nothing.
  ASSERT_EQ(test::Collect(a.Path(), {"once"}), 0);
  ASSERT_EQ(test::Collect(b.Path(), {"once"}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM records"), records);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM events"), events);
  EXPECT_EQ(Count("SELECT SUM(added) FROM reads WHERE id > 3"), "0");

  // status from either collector shows the whole fleet.
  ASSERT_EQ(test::Collect(a.Path(), {"status", "--json"}), 0);
  const std::string status = link_test::ReadAll(a.Path() / "collect.out");
  for (const auto& serial : {Count("SELECT serial FROM instruments WHERE line = 'south'")})
    EXPECT_NE(status.find(serial), std::string::npos) << serial << "\n" << status;

  // The server dies in the middle of a pass: the pass fails cleanly, nothing
  // is half stored, and the next pass (server back) completes the store.
  ASSERT_TRUE(pg_.CreateDatabase("again"));
  link_test::WriteAll(b.Path() / "collect.ini", "[Collector]\nDatabase=" + pg_.Url("again") + "\n\n" +
                                                    test::LineSection("south", simB.Port()) +
                                                    test::InstrumentSection("substation", "south", 1));
  {
    auto pass = test::CollectInBackground(b.Path(), "once");
    ASSERT_TRUE(WaitUntil(
        [&] { return link_test::ReadAll(b.Path() / "collect.out").find("Чтение данных") != std::string::npos; }, 60s));
    pg_.Kill();
    const int status = pass.Wait(120s);
    EXPECT_EQ(status, 1) << link_test::ReadAll(b.Path() / "collect.out");
  }
  ASSERT_TRUE(pg_.Start()) << pg_.Log();
  ASSERT_EQ(test::Collect(b.Path(), {"once"}), 0) << link_test::ReadAll(b.Path() / "collect.out");
  EXPECT_EQ(pg_.Sql("SELECT COUNT(*) FROM records", "again"),
            pg_.Sql("SELECT COUNT(*) FROM records WHERE serial = (SELECT serial FROM instruments WHERE line = 'south')",
                    "fleet"));
}

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
