// The collector's text boundary and fault barriers: a collect.ini that is
// not UTF-8, an instrument whose serial holds control characters and bytes
// that are not UTF-8, a store that throws under the HTTP server and the MQTT
// publisher, a message the broker can never take.
#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>
#include <sstream>

#include "base/utf8.hpp"
#include "collect/commands.hpp"
#include "collect/http/api.hpp"
#include "collect/http/server.hpp"
#include "collect/mqtt/publisher.hpp"
#include "collect/mqtt/topics.hpp"
#include "fleet_e2e.hpp"
#include "forwarding_store.hpp"
#include "store/record_store.hpp"
#include "support/kept_log.hpp"
#include "support/mqtt_broker.hpp"
#include "support/mqtt_subscriber.hpp"

namespace statvtk::collect {
namespace {

using namespace std::chrono_literals;

std::string Collector(int brokerPort) {
  return "[Collector]\nMqtt=127.0.0.1:" + std::to_string(brokerPort) + "\nMqttTopic=water\nOrigin=test\n\n";
}

// Every line of the collector's log files begins with its stamp.
void ExpectOneEventALine(const std::filesystem::path& home) {
  for (const auto& f : std::filesystem::directory_iterator(home / "logs")) {
    std::istringstream lines(link_test::ReadAll(f.path()));
    for (std::string line; std::getline(lines, line);) {
      EXPECT_TRUE(line.starts_with("[") && line.size() > 1 && std::isdigit(static_cast<unsigned char>(line[1])))
          << line;
      EXPECT_EQ(line.find_first_of("\x1b\r"), std::string::npos) << line;
    }
  }
}

TEST(CollectText, AWindows1251ConfigurationIsRefusedWithItsLineAndRunsOnceSavedAsUtf8) {
  test::MqttBroker broker;
  ASSERT_TRUE(broker.Init()) << broker.Log();
  test::MqttSubscriber sub(broker.Port(), "water/#", "cp1251-test");
  ASSERT_TRUE(sub.Connect());
  link_test::TempFolder home;
  test::SimOnTcp sim(home.Path(), {"--model", "0812", "--address", "3"});
  ASSERT_GT(sim.Port(), 0);
  const std::string name = "Котельная";
  const std::string cp1251 = "\xCA\xEE\xF2\xE5\xEB\xFC\xED\xE0\xFF";
  const auto ini = [&](const std::string& n) {
    return Collector(broker.Port()) + test::LineSection("site", sim.Port()) + test::InstrumentSection(n, "site", 3);
  };
  link_test::WriteAll(home.Path() / "collect.ini", ini(cp1251));
  EXPECT_EQ(test::Collect(home.Path(), {"once"}), kExitConfig);
  const std::string out = link_test::ReadAll(home.Path() / "collect.out");
  EXPECT_NE(out.find("collect.ini:10: текст не в UTF-8"), std::string::npos) << out;
  EXPECT_NE(out.find("в UTF-8"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(home.Path() / "collect.sqlite"));  // nothing started

  link_test::WriteAll(home.Path() / "collect.ini", ini(name));
  ASSERT_EQ(test::Collect(home.Path(), {"once"}), kExitOk) << link_test::ReadAll(home.Path() / "collect.out");
  auto store = store::OpenRecordStore("collect.sqlite", home.Path());
  ASSERT_TRUE(store);
  const auto reads = (*store)->Reads({"", name, 5, false});
  ASSERT_TRUE(reads);
  ASSERT_EQ(reads->size(), 1u);
  EXPECT_EQ(reads->front().outcome, store::ReadOutcome::Done);
  ASSERT_TRUE(sub.WaitForCount(1, 30s));
  bool named = false;
  for (const auto& m : sub.Messages())
    if (m.topic.ends_with("/read")) named = Json::parse(m.payload)["name"] == name;
  EXPECT_TRUE(named);
}

TEST(CollectText, AHostileSerialIsStoredPublishedAndLoggedWithoutForgingALine) {
  test::MqttBroker broker;
  ASSERT_TRUE(broker.Init()) << broker.Log();
  test::MqttSubscriber sub(broker.Port(), "water/#", "serial-test");
  ASSERT_TRUE(sub.Connect());
  link_test::TempFolder home;
  const std::string serial = "1\n\x1b[2J\xff";
  test::SimOnTcp sim(home.Path(), {"--model", "0812", "--address", "3", "--serial", "1\\n\\e[2J\\xff"});
  ASSERT_GT(sim.Port(), 0);
  link_test::WriteAll(home.Path() / "collect.ini", Collector(broker.Port()) + test::LineSection("site", sim.Port()) +
                                                       test::InstrumentSection("boiler", "site", 3));
  ASSERT_EQ(test::Collect(home.Path(), {"once"}), kExitOk) << link_test::ReadAll(home.Path() / "collect.out");
  auto store = store::OpenRecordStore("collect.sqlite", home.Path());
  ASSERT_TRUE(store);
  const auto reads = (*store)->Reads({"", "boiler", 5, false});
  ASSERT_TRUE(reads && reads->size() == 1u);
  EXPECT_EQ(reads->front().outcome, store::ReadOutcome::Done);
  EXPECT_EQ(reads->front().serial.substr(0, 6), serial.substr(0, 6));

  // The topic level has '_' for each byte MQTT would refuse; the payload the serial, made valid.
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const auto& m : sub.Messages())
          if (m.topic.starts_with("water/1__[2J") && m.topic.ends_with("/read")) return true;
        return false;
      },
      30s))
      << sub.Count();
  for (const auto& m : sub.Messages()) {
    if (m.topic.find("/situation/") != std::string::npos) continue;  // ON/OFF
    const Json j = Json::parse(m.payload, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << m.topic;
    if (m.topic.ends_with("/read")) {
      EXPECT_EQ(j["serial"].get<std::string>().substr(0, 9), "1\n\x1b[2J\xEF\xBF\xBD");
    }
  }
  ExpectOneEventALine(home.Path());
  ASSERT_EQ(test::Collect(home.Path(), {"status"}), kExitOk);
  const std::string status = link_test::ReadAll(home.Path() / "collect.out");
  EXPECT_EQ(status.find('\x1b'), std::string::npos) << status;
  EXPECT_NE(status.find("boiler: 1\\x0a\\x1b[2J"), std::string::npos) << status;
}

TEST(CollectText, StatusJsonAndTheApiDescribeAnInstrumentAlike) {
  link_test::TempFolder home;
  test::SimOnTcp sim(home.Path(), {"--bus", "ldn@7"});
  ASSERT_GT(sim.Port(), 0);
  link_test::WriteAll(home.Path() / "collect.ini",
                      "[Collector]\n\n[Line site]\nMode=tcp\nTcp=127.0.0.1:" + std::to_string(sim.Port()) +
                          "\nPacketConst=200\nByteConst=50\nPacketRetry=1\n\n" +
                          test::InstrumentSection("well", "site", 7) + test::InstrumentSection("absent", "site", 9));
  EXPECT_EQ(test::Collect(home.Path(), {"once"}), kExitFailed);  // "absent" does not answer
  std::ostringstream out, err;
  ASSERT_EQ(Dispatch({"status", "--json", "--home", home.Path().string()}, out, err), kExitOk) << err.str();
  const Json shown = Json::parse(out.str());
  ASSERT_TRUE(shown.at("collectors").is_array()) << shown.dump();
  const Json& status = shown.at("instruments");
  auto reader = store::OpenRecordStore("collect.sqlite", home.Path());
  ASSERT_TRUE(reader);
  FleetLive live;
  live.configured = [] { return std::vector<FleetLive::Configured>{{"well", "site", 7}, {"absent", "site", 9}}; };
  FleetApi api(std::move(*reader), live);
  const Json listed = Json::parse(api.Answer("GET", "/api/instruments", {}).body);
  ASSERT_EQ(status.size(), 2u);
  ASSERT_EQ(listed.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    std::vector<std::string> a, b;
    for (const auto& [k, v] : status[i].items()) a.push_back(k);
    for (const auto& [k, v] : listed[i].items()) b.push_back(k);
    EXPECT_EQ(a, b) << i;
    EXPECT_EQ(status[i]["name"], listed[i]["name"]);
    EXPECT_EQ(status[i]["records"], listed[i]["records"]);
    EXPECT_EQ(status[i]["failures_in_row"], listed[i]["failures_in_row"]);
  }
  EXPECT_EQ(status[0]["name"], "well");
  EXPECT_GT(status[0]["records"]["hourly"].get<int>(), 0) << status.dump();
  EXPECT_EQ(status[1]["failures_in_row"], 1);
  EXPECT_TRUE(status[1]["last_failure"].is_object());
}

TEST(CollectText, ATopicIsUtf8WithoutControlCharactersOrRefusedAtLoad) {
  for (const char* bad : {"water/\xCA\xEE", "water\tsite", "site\x7f"}) {
    const auto s = ParseMqttSettings([&](std::string_view key) -> std::optional<std::string> {
      if (key == "Mqtt") return std::string("broker.local");
      if (key == "MqttTopic") return std::string(bad);
      return std::nullopt;
    });
    ASSERT_FALSE(s) << bad;
    EXPECT_NE(s.error().reason.find("MqttTopic="), std::string::npos);
    EXPECT_TRUE(IsUtf8(s.error().reason)) << s.error().reason;
  }
}

TEST(CollectBarrier, AStoreThatThrowsAnswers500OnceLoggedAndTheServerGoesOn) {
  auto owned = test::ForwardingStore::Sqlite();
  auto* store = owned.get();
  const auto listing = [](std::string_view method) { return method == "Instruments" || method == "Summaries"; };
  store->SetHook([&](std::string_view method) -> std::optional<Error> {
    if (listing(method)) throw std::runtime_error("row with a bad string");
    return std::nullopt;
  });
  test::KeptLog log;
  HttpServer server(std::make_shared<FleetApi>(std::move(owned), FleetLive{}), log.To());
  ASSERT_TRUE(server.Start({"127.0.0.1", 0}));
  httplib::Client client("127.0.0.1", server.Port());
  for (int i = 0; i < 2; ++i) {
    const auto r = client.Get("/api/instruments");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 500);
    EXPECT_EQ(Json::parse(r->body)["status"], 500);
  }
  const auto reads = client.Get("/api/reads");
  ASSERT_TRUE(reads);
  EXPECT_EQ(reads->status, 200);
  store->SetHook({});
  const auto fine = client.Get("/api/instruments");
  ASSERT_TRUE(fine);
  EXPECT_EQ(fine->status, 200);
  EXPECT_EQ(log.Count("\n"), 1u) << log.Text();  // said once
  EXPECT_EQ(log.Count("row with a bad string"), 1u) << log.Text();
}

TEST(CollectBarrier, AMessageTheBrokerNeverTakesAndAStoreThatThrowsHoldUpNothing) {
  test::MqttBroker broker;
  ASSERT_TRUE(broker.Init()) << broker.Log();
  test::MqttSubscriber sub(broker.Port(), "statvtk/#");
  ASSERT_TRUE(sub.Connect());
  auto owned = test::ForwardingStore::Sqlite();
  auto* store = owned.get();
  ASSERT_TRUE(store->Enqueue({0, "me", "statvtk/\xff/read", "never", 1, false, ""}));
  ASSERT_TRUE(store->Enqueue({0, "me", "statvtk/1/read", "after", 1, false, ""}));
  std::atomic<int> throws{2};
  store->SetHook([&](std::string_view method) -> std::optional<Error> {
    if (method == "Peek" && throws.fetch_sub(1) > 0) throw std::runtime_error("outbox row unreadable");
    return std::nullopt;
  });
  MqttSettings s;
  s.host = "127.0.0.1";
  s.port = broker.Port();
  MqttPublisher pub(s, std::move(owned), "me");
  test::KeptLog log;
  pub.SetLog(log.To());
  pub.Start();
  ASSERT_TRUE(sub.WaitForCount(1, 60s));
  ASSERT_TRUE(WaitUntil([&] {
    const auto n = store->OutboxSize("me");
    return n && *n == 0;
  }));
  EXPECT_EQ(sub.Messages()[0].payload, "after");
  EXPECT_EQ(log.Count("outbox row unreadable"), 1u) << log.Text();  // the same fault twice in a row: once
  EXPECT_EQ(log.Count("отброшено"), 1u) << log.Text();
}

}  // namespace
}  // namespace statvtk::collect
