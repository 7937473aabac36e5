// The collector's abnormal situations against a simulated instrument that
// stopped flowing: raised once by the reads, kept once over the next read,
// listed and acknowledged through the API with a token, counted in /metrics,
// its state retained on MQTT.
#include <gtest/gtest.h>
#include <httplib.h>

#include "base/json_text.hpp"
#include "collect/http/tokens.hpp"
#include "fleet_e2e.hpp"
#include "store/record_store.hpp"
#include "support/free_port.hpp"
#include "support/mqtt_broker.hpp"
#include "support/mqtt_subscriber.hpp"
#include "support/temp_folder.hpp"
#include "support/wait_until.hpp"

namespace statvtk::collect {
namespace {

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
