// MQTT: topic levels, the payloads of a read, and the publisher against a
// real mosquitto broker on a loopback port, including a broker that is
// stopped and started again while messages wait in the outbox.
// The outbox's bound without a broker: past MqttOutboxMax= an older ON/OFF of a
// situation goes before any record message, the newest of each topic stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "collect/mqtt/messages.hpp"
#include "collect/mqtt/publisher.hpp"
#include "collect/mqtt/topics.hpp"
#include "forwarding_store.hpp"
#include "support/free_port.hpp"
#include "support/mqtt_broker.hpp"
#include "support/mqtt_subscriber.hpp"
#include "support/pg_cluster.hpp"
#include "support/temp_folder.hpp"
#include "collect/mqtt/outbox.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;

TEST(MqttTopics, ReservedCharactersOfASerialBecomeUnderscores) {
  const std::pair<std::string, std::string> cases[] = {
      {"00001234", "00001234"},
      {"12#45678", "12_45678"},
      {"1+2/3", "1_2_3"},
      {"####", "____"},
      {"", "_"},
      {std::string("12\0004", 4), "12_4"},
      {"AB\x7f", "AB_"},
      {"Котёл", "Котёл"},
      {"12\xFF\xC2\x85z", "12___z"},  // a byte that is not UTF-8, a C1 control
  };
  for (const auto& [serial, level] : cases) EXPECT_EQ(TopicLevel(serial), level) << serial;
  EXPECT_EQ(ReadTopic("statvtk", "12#45678"), "statvtk/12_45678/read");
  EXPECT_EQ(RecordTopic("site/a", "7", "daily"), "site/a/7/daily");
  EXPECT_EQ(StateTopic("statvtk", "7"), "statvtk/7/state");
  EXPECT_EQ(DiscoveryTopic("12#4 5", "forward_total"), "homeassistant/sensor/statvtk_12_4_5_forward_total/config");
}

ReadPublication Publication() {
  ReadPublication p;
  p.instrument = {"12#45678", "VTK-08.14 C", "Насосная", "north", 3, "", "", {}};
  p.read.id = 9;
  p.read.mode = store::ReadMode::New;
  p.read.outcome = store::ReadOutcome::Done;
  p.read.startedUtc = "2026-12-08T10:00:00Z";
  p.read.endedUtc = "2026-12-08T10:00:20Z";
  p.read.requests = 12;
  p.read.added = 2;
  for (const char* period : {"2026-12-08 08:00", "2026-12-08 09:00"}) {
    store::RecordRow r;
    r.serial = p.instrument.serial;
    r.period = period;
    r.forwardTotal = 100.25;
    r.forwardIncrement = std::string(period).ends_with("08:00") ? std::nullopt : std::optional<double>(1.5);
    r.fields = R"({"forward_mass_total":98.5,"temperature":55.1,"mean_flow":1.5,"status":"Норма"})";
    p.added.push_back(r);
  }
  p.newest = p.added.back();
  p.lastGoodReadUtc = p.read.endedUtc;
  return p;
}

TEST(MqttMessages, AReadMakesItsOutcomeItsRecordsAndTheRetainedState) {
  MqttSettings s;
  s.host = "x";
  const auto msgs = MessagesOf(s, Publication(), false, "here", "2026-12-08T10:00:21Z");
  ASSERT_EQ(msgs.size(), 4u);
  EXPECT_EQ(msgs[0].topic, "statvtk/12_45678/read");
  EXPECT_EQ(msgs[1].topic, "statvtk/12_45678/hourly");
  EXPECT_EQ(msgs[3].topic, "statvtk/12_45678/state");
  EXPECT_FALSE(msgs[0].retain);
  EXPECT_TRUE(msgs[3].retain);
  for (const auto& m : msgs) {
    EXPECT_EQ(m.qos, 1);
    EXPECT_EQ(m.origin, "here");
  }
  const Json read = Json::parse(msgs[0].payload);
  EXPECT_EQ(read["serial"], "12#45678");  // the payload keeps the serial as it is
  EXPECT_EQ(read["outcome"], "done");
  EXPECT_EQ(read["requests"], 12);
  const Json rec = Json::parse(msgs[1].payload);
  EXPECT_EQ(rec["archive"], "hourly");
  EXPECT_EQ(rec["period"], "2026-12-08 08:00");
  EXPECT_TRUE(rec["forward_increment"].is_null());
  EXPECT_EQ(rec["fields"]["temperature"], 55.1);
  const Json state = Json::parse(msgs[3].payload);
  EXPECT_EQ(state["period"], "2026-12-08 09:00");
  EXPECT_EQ(state["values"]["forward_total"], 100.25);
  EXPECT_EQ(state["values"]["forward_mass_total"], 98.5);
  EXPECT_EQ(state["last_good_read_utc"], "2026-12-08T10:00:20Z");
}

TEST(MqttMessages, DiscoveryHasASensorPerTotalAndFlowTheModelHas) {
  MqttSettings s;
  s.host = "x";
  s.topic = "water";
  const auto msgs = MessagesOf(s, Publication(), true, "here", "t");
  std::vector<std::string> topics;
  for (const auto& m : msgs)
    if (m.topic.starts_with("homeassistant/")) topics.push_back(m.topic);
  EXPECT_EQ(topics, (std::vector<std::string>{"homeassistant/sensor/statvtk_12_45678_forward_total/config",
                                              "homeassistant/sensor/statvtk_12_45678_reverse_total/config",
                                              "homeassistant/sensor/statvtk_12_45678_forward_mass_total/config",
                                              "homeassistant/sensor/statvtk_12_45678_mean_flow/config"}));
  const Json flow = Json::parse(msgs[3].payload);
  EXPECT_EQ(flow["state_topic"], "water/12_45678/state");
  EXPECT_EQ(flow["availability_topic"], "water/collector/here/status");
  EXPECT_EQ(flow["unit_of_measurement"], "m³/h");
  EXPECT_EQ(flow["value_template"], "{{ value_json['values']['mean_flow'] }}");
  EXPECT_EQ(flow["device"]["serial_number"], "12#45678");
  EXPECT_TRUE(msgs[0].retain);
  // A VTK-08.12 record has no mass and no flow: only its two volume totals.
  store::RecordRow plain;
  plain.fields = R"({"counters":[1,2,3,4],"status":"x"})";
  EXPECT_EQ(DiscoveryFields(plain), (std::vector<std::string>{"forward_total", "reverse_total"}));
}

// The messages of "me" waiting in the outbox; -1: the store did not answer.
std::int64_t Waiting(store::RecordStore& s) {
  const auto n = s.OutboxSize("me");
  return n ? *n : -1;
}

class MqttBrokerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(broker_.Init()) << broker_.Log(); }
  MqttSettings Settings() const {
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = broker_.Port();
    return s;
  }
  void Enqueue(store::RecordStore& store, int from, int to) {
    for (int i = from; i < to; ++i)
      ASSERT_TRUE(store.Enqueue({0, "me", "statvtk/1/hourly", std::to_string(i), 1, false, ""}));
  }
  // Once the outbox of "me" is empty and the broker took `n` messages, the
  // subscriber's messages: all it was sent, and nothing after.
  static std::vector<test::MqttMessage> AllSent(test::ForwardingStore& store, MqttPublisher& pub,
                                                test::MqttSubscriber& sub, std::int64_t n) {
    EXPECT_TRUE(WaitUntil([&] { return Waiting(store) == 0 && pub.Figures().sent >= n; }, 60s))
        << pub.Figures().sent << " " << pub.Figures().lastError;
    EXPECT_TRUE(sub.Flushed());
    EXPECT_EQ(pub.Figures().sent, n);
    return sub.Messages();
  }
  test::MqttBroker broker_;
};

// Messages go out in order, each once, and leave the outbox (another
// collector's stay), also across a broker that stops and comes back.
TEST_F(MqttBrokerTest, ABrokerThatStopsAndComesBackGetsEveryMessageOnceInOrder) {
  auto owned = test::ForwardingStore::Sqlite();
  auto* store = owned.get();
  MqttPublisher pub(Settings(), std::move(owned), "me");
  // One durable subscriber for the whole test: it reconnects by itself.
  test::MqttSubscriber sub(broker_.Port(), "statvtk/#");
  ASSERT_TRUE(sub.Connect());
  ASSERT_TRUE(store->Enqueue({0, "someone else", "statvtk/2/read", "not mine", 1, false, ""}));
  pub.Start();
  Enqueue(*store, 0, 50);
  pub.Notify();
  ASSERT_EQ(AllSent(*store, pub, sub, 50).size(), 50u);  // in order: checked with the rest below
  EXPECT_EQ(store->OutboxSize("someone else").value(), 1);
  EXPECT_TRUE(pub.Figures().connected);
  ASSERT_TRUE(sub.Flushed());  // its acknowledgements reached the broker: nothing comes to it twice

  // The broker goes away; collection goes on and its messages wait.
  broker_.Stop();
  Enqueue(*store, 50, 120);
  pub.Notify();
  ASSERT_TRUE(WaitUntil([&] { return !pub.Figures().connected; }));

  ASSERT_TRUE(broker_.Start()) << broker_.Log();
  const auto got = AllSent(*store, pub, sub, 120);
  ASSERT_EQ(got.size(), 120u);
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].payload, std::to_string(i));
  EXPECT_GE(pub.Figures().connects, 2);
}

TEST_F(MqttBrokerTest, TheRetainedStateIsWhatANewSubscriberGetsFirst) {
  auto owned = test::ForwardingStore::Sqlite();
  auto* store = owned.get();
  MqttSettings s = Settings();
  for (const auto& m : MessagesOf(s, Publication(), false, "me", "t")) ASSERT_TRUE(store->Enqueue(m));
  MqttPublisher pub(s, std::move(owned), "me");
  pub.Start();
  ASSERT_TRUE(WaitUntil([&] { return Waiting(*store) == 0; }));
  test::MqttSubscriber late(broker_.Port(), "statvtk/+/state", "late-comer");
  ASSERT_TRUE(late.Connect());
  ASSERT_TRUE(late.WaitForCount(1));
  const auto got = late.Messages();
  EXPECT_TRUE(got[0].retain);
  EXPECT_EQ(got[0].topic, "statvtk/12_45678/state");
  EXPECT_EQ(Json::parse(got[0].payload)["values"]["mean_flow"], 1.5);
}

// Collectors on one PostgreSQL database: the publisher's look takes the
// outbox of one not seen for twice the adoption period and sends it in
// order, each message once, though its own newer ones went out first; a
// live collector's messages stay its own. (Which outboxes the store hands
// over, on both back ends: test_leases.)
TEST_F(MqttBrokerTest, ADeadCollectorsOutboxIsSentByALiveOneInOrderOnce) {
  test::PgCluster pg;
  ASSERT_TRUE(pg.Init()) << pg.Log();
  ASSERT_TRUE(pg.CreateDatabase("shared"));
  link_test::TempFolder dir;
  auto writer = store::OpenRecordStore(pg.Url("shared"), dir.Path());
  ASSERT_TRUE(writer) << writer.error().reason;
  for (const char* origin : {"dead", "live", "me"})
    ASSERT_TRUE((*writer)->RegisterCollector({origin, "h", 1, "v", "", "", false}));
  // "live" seen long after any look of this test.
  pg.Sql("UPDATE collectors SET seen_utc = '2099-01-01T00:00:00Z' WHERE origin = 'live'", "shared");
  ASSERT_EQ(pg.LastSqlStatus(), 0);
  for (int i = 0; i < 30; ++i) {
    const char* origin = i % 3 == 0 ? "me" : i % 3 == 1 ? "dead" : "live";
    ASSERT_TRUE((*writer)->Enqueue({0, origin, std::string("statvtk/") + origin, std::to_string(i), 1, false, ""}));
  }
  test::MqttSubscriber sub(broker_.Port(), "statvtk/#");
  ASSERT_TRUE(sub.Connect());
  auto outbox = store::OpenRecordStore(pg.Url("shared"), dir.Path());
  ASSERT_TRUE(outbox);
  auto owned = std::make_unique<test::ForwardingStore>(std::move(*outbox));
  auto* looks = owned.get();
  std::vector<std::string> log;
  std::mutex logMutex;
  MqttPublisher pub(Settings(), std::move(owned), "me");
  pub.SetLog([&](const std::string& line) {
    const std::scoped_lock lock(logMutex);
    log.push_back(line);
  });
  pub.AdoptEvery(1s);  // a look at once, then every second
  pub.Start();
  ASSERT_TRUE(sub.WaitForCount(10, 60s)) << sub.Count();  // its own, all three alive
  pg.Sql("UPDATE collectors SET seen_utc = '2026-01-01T00:00:00Z' WHERE origin = 'dead'", "shared");
  ASSERT_EQ(pg.LastSqlStatus(), 0);
  ASSERT_TRUE(sub.WaitForCount(20, 60s)) << sub.Count();  // a later look takes the dead one's
  // Two more looks begun, so one whole look after: it adopts nothing more, sends nothing twice.
  const std::size_t seen = looks->Calls("Collectors");
  ASSERT_TRUE(WaitUntil([&] { return looks->Calls("Collectors") >= seen + 2; }, 60s));
  ASSERT_TRUE(WaitUntil([&] { return Waiting(*looks) == 0; }, 60s));
  ASSERT_TRUE(sub.Flushed());
  pub.Stop();
  std::vector<std::string> got, want;
  for (const auto& m : sub.Messages()) got.push_back(m.topic + " " + m.payload);
  for (int i = 0; i < 30; i += 3) want.push_back("statvtk/me " + std::to_string(i));
  for (int i = 1; i < 30; i += 3) want.push_back("statvtk/dead " + std::to_string(i));
  EXPECT_EQ(got, want);  // none of the live one's
  EXPECT_EQ(pg.Sql("SELECT origin || ':' || COUNT(*) FROM outbox GROUP BY origin", "shared"), "live:10");
  const std::scoped_lock lock(logMutex);
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) {
                            return l.starts_with("MQTT: сообщений сборщиков dead (") && l.ends_with(": 10");
                          }),
            1)
      << testing::PrintToString(log);
}

// Stopped in its back-off after failed connections (the pause has grown
// past a few seconds): the stop ends the pause, whenever it comes in it.
TEST(MqttNoBroker, APublisherWithoutABrokerKeepsEverythingAndStopsDuringItsBackOff) {
  auto owned = test::ForwardingStore::Sqlite();
  auto* store = owned.get();
  ASSERT_TRUE(store->Enqueue({0, "me", "statvtk/1/read", "x", 1, false, ""}));
  MqttSettings s;
  s.host = "127.0.0.1";
  s.port = test::FreeLoopbackPort();
  MqttPublisher pub(s, std::move(owned), "me");
  std::atomic<int> failures{0};
  pub.SetLog([&](const std::string& line) {
    if (line.find("127.0.0.1") != std::string::npos) ++failures;
  });
  pub.Start();
  // The third failure is followed by a pause of 4 s, the fourth by 8 s.
  ASSERT_TRUE(WaitUntil([&] { return failures.load() >= 3; }, 60s));
  std::atomic<bool> stopped{false};
  std::jthread stopping([&] {
    pub.Stop();
    stopped = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return stopped.load(); }, 60s));
  stopping.join();
  EXPECT_EQ(store->OutboxSize("me").value(), 1);
  EXPECT_NE(pub.Figures().lastError.find("127.0.0.1"), std::string::npos) << pub.Figures().lastError;
}

store::SituationRow Open(const char* kind, const std::string& from) {
  store::SituationRow r;
  r.serial = "S";
  r.kind = kind;
  r.source = "rule";
  r.fromPeriod = from;
  r.hours = 24;
  return r;
}

TEST(MqttOutboxBound, OlderSituationStatesGoFirstAndTheNewestOfEachTopicStays) {
  auto store = test::ForwardingStore::Sqlite();  // origin "me"
  MqttSettings settings;
  settings.host = "127.0.0.1";
  settings.outboxMax = 4;
  MqttOutbox outbox(settings, "me");
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(store->Enqueue({0, "me", "statvtk/S/hourly", "record " + std::to_string(i), 1, false, ""}));
  // Reverse volume stays open throughout; no consumption opens and closes in turn.
  for (int round = 0; round < 6; ++round) {
    std::vector<store::SituationRow> found{Open("reverse_volume", "2026-12-01 00:00")};
    if (round % 2 == 0) found.push_back(Open("no_consumption", "2026-12-0" + std::to_string(round + 2) + " 00:00"));
    auto changes = store->PutSituations("S", found, "");
    ASSERT_TRUE(changes);
    ASSERT_EQ(changes->opened.size() + changes->closed.size(), round == 0 ? 2u : 1u) << round;
    ASSERT_TRUE(outbox.EnqueueSituations(*store, "S", *changes));
    EXPECT_LE(store->OutboxSize("me").value(), 4) << round;
  }
  std::vector<std::string> waiting;
  for (const auto& m : store->Peek("me", 100).value()) waiting.push_back(m.topic + " " + m.payload);
  const std::vector<std::string> want{
      "statvtk/S/hourly record 1", "statvtk/S/hourly record 2",
      SituationTopic("statvtk", "S", "reverse_volume") + " ON",  // older than every later state, never superseded
      SituationTopic("statvtk", "S", "no_consumption") + " OFF"};
  EXPECT_EQ(waiting, want);
  EXPECT_EQ(outbox.Dropped(), 6);  // the oldest record, then five older no_consumption states
}

}  // namespace
}  // namespace statvtk::collect
