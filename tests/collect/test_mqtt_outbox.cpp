// The outbox's bound holds the situations' retained ON/OFF too, without a
// broker: past MqttOutboxMax= an older ON/OFF of a topic goes before any
// record message does, and the newest of each topic always stays.
#include <gtest/gtest.h>

#include "collect/mqtt/outbox.hpp"
#include "collect/mqtt/topics.hpp"
#include "forwarding_store.hpp"

namespace statvtk::collect {
namespace {

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
