// The situations the collector sees itself, against the simulator: another
// meter at an instrument's address (meter_replaced, once), the meter's clock
// off (clock_drift: open while it lasts, the health state "clock" with it,
// cleared by a read that finds it right), a call-in of a known Id from an
// address AllowFrom= does not hold (refused, call_in_refused once).
// And the situations the reads raise (a meter that stopped flowing): kept once,
// acknowledged through the API with a token, counted in /metrics, retained on MQTT.
#include <gtest/gtest.h>

#include <ctime>
#include <httplib.h>

#include "base/json_text.hpp"
#include "base/local_time.hpp"
#include "collect/config/identity.hpp"
#include "collect/dial/incoming_listener.hpp"
#include "fleet_e2e.hpp"
#include "store/record_store.hpp"
#include "support/free_port.hpp"
#include "support/kept_log.hpp"
#include "support/temp_folder.hpp"
#include "support/wait_until.hpp"
#include "collect/http/tokens.hpp"
#include "support/mqtt_broker.hpp"
#include "support/mqtt_subscriber.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;

// The collector's situations of `kind` in the store of `home`.
std::vector<store::SituationRow> SituationsOf(const std::filesystem::path& home, const std::string& kind) {
  auto s = store::OpenRecordStore("collect.sqlite", home);
  if (!s) return {};
  store::SituationQuery q;
  q.kind = kind;
  return (*s)->Situations(q).value();
}

// A simulated 0814c at address 3 reporting `serial`, its clock at `clock`.
std::vector<std::string> Meter(const std::string& serial, const std::string& clock) {
  return {"--model", "0814c", "--address", "3", "--serial", serial, "--now", clock};
}

// The PC's local time `ago` seconds back, as the simulator's --now takes it.
std::string LocalClock(std::time_t ago) {
  const std::tm t = LocalTime(std::time(nullptr) - ago);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &t);
  return buf;
}

void Once(const std::filesystem::path& home, int port, const std::string& more = {}) {
  link_test::WriteAll(home / "collect.ini", "[Collector]\nKeepFiles=none\n\n" + more + test::LineSection("bus", port) +
                                                test::InstrumentSection("boiler", "bus", 3));
  ASSERT_EQ(test::Collect(home, {"once"}), 0) << link_test::ReadAll(home / "collect.out");
}

TEST(OwnSituations, AnotherMeterAtTheAddressIsOneMeterReplacedOfTheNewSerial) {
  link_test::TempFolder home, oldSim, newSim;
  const auto noted = [&] {
    return test::Occurrences(link_test::ReadAll(home.Path() / "collect.out"), "11111111 → 22222222");
  };
  {
    test::SimOnTcp old(oldSim.Path(), Meter("11111111", LocalClock(0)));
    ASSERT_GT(old.Port(), 0);
    Once(home.Path(), old.Port());
  }
  test::SimOnTcp fresh(newSim.Path(), Meter("22222222", LocalClock(0)));
  ASSERT_GT(fresh.Port(), 0);
  Once(home.Path(), fresh.Port());
  EXPECT_EQ(noted(), 1u);
  Once(home.Path(), fresh.Port());  // the store knows the new one now: nothing more
  const auto replaced = SituationsOf(home.Path(), "meter_replaced");
  ASSERT_EQ(replaced.size(), 1u);
  EXPECT_EQ(replaced[0].serial, "22222222");
  EXPECT_EQ(replaced[0].detail, "11111111 → 22222222");
  EXPECT_EQ(replaced[0].source, "collector");
  EXPECT_EQ(replaced[0].toPeriod, replaced[0].fromPeriod);  // an event of one hour
  // The place keeps its history: both meters' records, each under its own serial.
  auto s = store::OpenRecordStore("collect.sqlite", home.Path());
  ASSERT_TRUE(s);
  for (const char* serial : {"11111111", "22222222"})
    EXPECT_GT((*s)->Stats(serial, ArchiveKind::Hourly).value().records, 0) << serial;
}

TEST(OwnSituations, AClockOffIsOneClockDriftWhileItLastsAndTheHealthSaysSo) {
  link_test::TempFolder home, behindSim, rightSim;
  const std::string rules = "[Rules]\nClockDrift=20m\n\n";
  const auto health = [&] {
    EXPECT_EQ(test::Collect(home.Path(), {"status", "--json"}), 0);
    const std::string out = link_test::ReadAll(home.Path() / "collect.out");
    const auto json = out.rfind("\n{\"");  // the answer after the log's lines
    return Json::parse(out.substr(json == std::string::npos ? 0 : json + 1))
        .at("instruments")
        .at(0)
        .at("health")
        .get<std::string>();
  };
  {
    test::SimOnTcp behind(behindSim.Path(), Meter("33333333", LocalClock(3600)));  // an hour behind
    ASSERT_GT(behind.Port(), 0);
    Once(home.Path(), behind.Port(), rules);
    Once(home.Path(), behind.Port(), rules);
    const auto drift = SituationsOf(home.Path(), "clock_drift");
    ASSERT_EQ(drift.size(), 1u);
    EXPECT_TRUE(drift[0].Open());
    EXPECT_EQ(drift[0].serial, "33333333");
    EXPECT_EQ(health(), "clock");
  }
  test::SimOnTcp right(rightSim.Path(), Meter("33333333", LocalClock(300)));  // 5 min: within ClockDrift=20m
  ASSERT_GT(right.Port(), 0);
  Once(home.Path(), right.Port(), rules);
  const auto drift = SituationsOf(home.Path(), "clock_drift");
  ASSERT_EQ(drift.size(), 1u);
  EXPECT_FALSE(drift[0].Open());
  EXPECT_NE(health(), "clock");
}

TEST(OwnSituations, AKnownIdFromOutsideAllowFromIsRefusedAndRaisedOnce) {
  link_test::TempFolder folder;
  const std::filesystem::path home = folder.Path();
  const int port = test::FreeLoopbackPort();
  const auto parsed = ParseConfig("collect.ini", "[Listen gprs]\nListen=127.0.0.1:" + std::to_string(port) +
                                                     "\nAllowFrom=10.64.0.0/10, fd00::/8\n\n"
                                                     "[Line site-7]\nMode=incoming\nListen=gprs\nId=site-7\n\n"
                                                     "[Instrument well]\nLine=site-7\nAddress=1\n");
  ASSERT_TRUE(parsed.config) << parsed.Text("collect.ini");
  auto opened = store::OpenRecordStore("collect.sqlite", home, StoreOptionsOf(parsed.config->collector));
  ASSERT_TRUE(opened);
  store::RecordStore& db = **opened;
  // The instrument answered once before: the store knows its serial.
  const auto read = db.StartRead({"", "well", "site-7", store::UtcNow(), store::ReadMode::Full}).value();
  store::ReadFinish done;
  done.serial = "44444444";
  done.endedUtc = store::UtcNow();
  ASSERT_TRUE(db.FinishRead(read, done));
  StoreWriter writer(db);
  test::KeptLog log;
  std::atomic<bool> stop{false};
  const IncomingContext ctx{*parsed.config, home, writer, log.To(), stop};
  auto lines = IncomingLines::Open(ctx);
  ASSERT_TRUE(lines && *lines) << (lines ? "no incoming line" : lines.error().reason);
  {
    std::jthread serving([&] { (*lines)->Serve(); });
    test::CallingModem first, second, stranger;
    ASSERT_TRUE(first.Call(port, "site-7"));
    ASSERT_TRUE(WaitUntil([&] { return first.Closed(); }, 30s)) << log.Text();
    ASSERT_TRUE(second.Call(port, "site-7"));
    ASSERT_TRUE(WaitUntil([&] { return second.Closed(); }, 30s)) << log.Text();
    ASSERT_TRUE(stranger.Call(port, "nobody"));  // an unknown Id: as before, closed and nothing else
    ASSERT_TRUE(WaitUntil([&] { return stranger.Closed(); }, 30s)) << log.Text();
    ASSERT_TRUE(WaitUntil([&] { return log.Count("неизвестный Id") == 1; }, 30s)) << log.Text();
    stop = true;
  }
  lines->reset();  // the greeters joined: every situation written
  EXPECT_EQ(log.Count("адрес 127.0.0.1 не разрешён AllowFrom="), 2u) << log.Text();
  store::SituationQuery q;
  q.kind = "call_in_refused";
  const auto refused = db.Situations(q).value();
  ASSERT_EQ(refused.size(), 1u) << log.Text();
  EXPECT_EQ(refused[0].serial, "44444444");
  EXPECT_EQ(refused[0].detail, "127.0.0.1");
  EXPECT_TRUE(refused[0].Open());
}

using namespace std::chrono_literals;

TEST(CollectSituations, AStoppedMeterRaisesNoConsumptionOnceAndTheApiAcknowledgesIt) {
  test::MqttBroker broker;
  ASSERT_TRUE(broker.Init()) << broker.Log();
  link_test::TempFolder home;
  test::SimOnTcp sim(home.Path(), {"--bus", "0814c@3", "--stopped", "8", "--quiet-nights"});
  ASSERT_GT(sim.Port(), 0);
  const int http = test::FreeLoopbackPort();
  link_test::WriteAll(home.Path() / "collect.ini",
                      "[Collector]\nHttp=127.0.0.1:" + std::to_string(http) +
                          "\nMqtt=127.0.0.1:" + std::to_string(broker.Port()) +
                          "\nMqttTopic=water\nMqttDiscovery=1\n\n[Rules]\nNoFlowDays=5\n\n" +
                          test::LineSection("bus", sim.Port()) + test::InstrumentSection("boiler", "bus", 3));
  ASSERT_EQ(test::Collect(home.Path(), {"once"}), 0) << link_test::ReadAll(home.Path() / "collect.out");
  ASSERT_TRUE(sim.Advance());  // a day later, still no flow: the same situation, longer
  ASSERT_EQ(test::Collect(home.Path(), {"once"}), 0) << link_test::ReadAll(home.Path() / "collect.out");
  {
    auto s = store::OpenRecordStore("collect.sqlite", home.Path());
    ASSERT_TRUE(s);
    store::SituationQuery stoppedOnes;
    stoppedOnes.kind = "no_consumption";
    const auto stopped = (*s)->Situations(stoppedOnes).value();
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_TRUE(stopped[0].Open());
    EXPECT_EQ(stopped[0].fromPeriod, "2026-11-30 00:00");
    EXPECT_GT(stopped[0].hours, 8 * 24);  // brought up to the second read's newest hour
  }

  ASSERT_EQ(test::Collect(home.Path(), {"status"}), 0);
  EXPECT_EQ(test::Occurrences(link_test::ReadAll(home.Path() / "collect.out"), ": Нет потребления с 2026-11-30 00:00"),
            1u);

  // Its state retained: ON for a subscriber that comes later.
  test::MqttSubscriber sub(broker.Port(), "water/+/situation/#", "situations-test");
  ASSERT_TRUE(sub.Connect());
  const auto stoppedOn = [&] {
    std::size_t on = 0;
    for (const auto& m : sub.Messages()) on += m.topic.ends_with("/situation/no_consumption") && m.payload == "ON";
    return on;
  };
  ASSERT_TRUE(WaitUntil([&] { return stoppedOn() > 0; }, 30s));
  EXPECT_EQ(stoppedOn(), 1u);
  // Home Assistant's binary sensor of it, whose state is that topic.
  test::MqttSubscriber config(broker.Port(), "homeassistant/binary_sensor/#", "situations-config");
  ASSERT_TRUE(config.Connect());
  const auto sensor = [&]() -> std::optional<Json> {
    for (const auto& m : config.Messages())
      if (m.topic.ends_with("_situation_no_consumption/config")) return Json::parse(m.payload);
    return std::nullopt;
  };
  ASSERT_TRUE(WaitUntil([&] { return sensor().has_value(); }, 30s));
  EXPECT_TRUE(sensor()->at("state_topic").get<std::string>().ends_with("/situation/no_consumption"));
  EXPECT_EQ(sensor()->at("payload_on"), "ON");

  auto token = TokenFile(home.Path() / "http-tokens").Add("operator");
  ASSERT_TRUE(token);
  auto run = test::CollectInBackground(home.Path(), "run");
  httplib::Client client("127.0.0.1", http);
  client.set_connection_timeout(2);
  const httplib::Headers auth{{"Authorization", "Bearer " + *token}};
  ASSERT_TRUE(WaitUntil([&] { return static_cast<bool>(client.Get("/health")); }, 30s))
      << link_test::ReadAll(home.Path() / "collect.out");
  const auto listed = client.Get("/api/situations?open=1&kind=no_consumption&since=2026-12-01", auth);
  ASSERT_TRUE(listed);
  ASSERT_EQ(listed->status, 200) << listed->body;
  const Json list = Json::parse(listed->body);
  ASSERT_EQ(list.size(), 1u) << listed->body;
  EXPECT_EQ(list[0]["name"], "boiler");
  EXPECT_EQ(list[0]["kind_text"], "Нет потребления");
  EXPECT_TRUE(list[0]["to"].is_null());
  EXPECT_TRUE(list[0]["acked_by"].is_null());
  const auto metrics = client.Get("/metrics", auth);
  ASSERT_TRUE(metrics);
  EXPECT_NE(metrics->body.find("statvtk_situations_open{kind=\"no_consumption\"} 1\n"), std::string::npos);
  EXPECT_NE(metrics->body.find("statvtk_situations_open{kind=\"consumption_spike\"} 0\n"), std::string::npos);

  const std::string path = "/api/situations/" + std::to_string(list[0]["id"].get<long long>()) + "/ack";
  EXPECT_EQ(client.Post(path, "", "application/json")->status, 401);  // no token: nothing changes
  const auto acked = client.Post(path, auth, "", "application/json");
  ASSERT_TRUE(acked);
  EXPECT_EQ(acked->status, 200) << acked->body;
  EXPECT_EQ(client.Post("/api/situations/99999/ack", auth, "", "application/json")->status, 404);
  const Json after = Json::parse(client.Get("/api/situations?kind=no_consumption", auth)->body);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0]["acked_by"], "operator");
  EXPECT_EQ(client.Get("/api/situations?open=2", auth)->status, 400);
}

}  // namespace
}  // namespace statvtk::collect
