// Collectors sharing a store: a line's lease taken, renewed, released and
// expired by the database's clock, its epoch bumped at each take; racing
// takers on PostgreSQL; a dead collector's outbox adopted once, in order.
#include <array>
#include <atomic>
#include <thread>

#include "both_backends.hpp"

namespace statvtk::store {
namespace {

LeaseRow LeaseOf(RecordStore& s, const std::string& line) {
  auto leases = s.Leases();
  EXPECT_TRUE(leases) << leases.error().reason;
  if (leases)
    for (const auto& l : *leases)
      if (l.line == line) return l;
  return {};
}

TEST_P(BothBackends, ALeaseIsTakenOnlyWhenFreeAndItsEpochGrowsWithEveryTake) {
  // A negative TTL sets the expiry in the database's past: expired at once.
  struct Step {
    const char* what;
    char op;  // T take, R renew, X release
    const char* origin;
    std::int64_t epoch, ttl;
    std::int64_t want;  // take: the epoch or 0 for none; renew: 1/0
    const char* holder;
    bool held;
  };
  const Step steps[] = {
      {"first take", 'T', "a", 0, 60, 1, "a", true},
      {"held: another cannot take", 'T', "b", 0, 60, 0, "a", true},
      {"held: nor its holder take again", 'T', "a", 0, 60, 0, "a", true},
      {"renewed by its holder", 'R', "a", 1, 60, 1, "a", true},
      {"a wrong epoch is no renewal", 'R', "a", 2, 60, 0, "a", true},
      {"another origin is no renewal", 'R', "b", 1, 60, 0, "a", true},
      {"a stranger's release changes nothing", 'X', "b", 1, 0, 0, "a", true},
      {"released", 'X', "a", 1, 0, 0, "", false},
      {"a released lease is not renewed", 'R', "a", 1, 60, 0, "", false},
      {"taken after release, epoch bumped", 'T', "b", 0, -5, 2, "b", false},
      {"expired: its holder cannot renew", 'R', "b", 2, 60, 0, "b", false},
      {"expired: taken by another", 'T', "a", 0, 60, 3, "a", true},
      {"the old holder's epoch is fenced off", 'R', "b", 2, 60, 0, "a", true},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    if (s.op == 'T') {
      auto epoch = store_->TakeLease("tcp1", s.origin, s.ttl);
      ASSERT_TRUE(epoch) << epoch.error().reason;
      EXPECT_EQ(epoch->value_or(0), s.want);
    } else if (s.op == 'R') {
      auto renewed = store_->RenewLease("tcp1", s.origin, s.epoch, s.ttl);
      ASSERT_TRUE(renewed) << renewed.error().reason;
      EXPECT_EQ(*renewed, s.want == 1);
    } else {
      ASSERT_TRUE(store_->ReleaseLease("tcp1", s.origin, s.epoch));
    }
    const LeaseRow l = LeaseOf(*store_, "tcp1");
    EXPECT_EQ(l.origin, s.holder);
    EXPECT_EQ(l.held, s.held);
    EXPECT_EQ(l.untilUtc.size(), 20u) << l.untilUtc;  // the store's "YYYY-MM-DDTHH:MM:SSZ"
    if (s.held) {
      EXPECT_EQ(l.freeForS, 0);
    }
  }
  ASSERT_TRUE(store_->TakeLease("tcp2", "c", -30));
  const LeaseRow expired = LeaseOf(*store_, "tcp2");
  EXPECT_FALSE(expired.held);
  EXPECT_GE(expired.freeForS, 30);
  EXPECT_LT(expired.freeForS, 60);
  EXPECT_EQ(expired.epoch, 1);
}

TEST_P(BothBackends, ADeadCollectorsOutboxIsAdoptedOnceInOrderAndALiveOnesIsLeft) {
  for (const char* origin : {"dead", "live", "me"})
    ASSERT_TRUE(store_->RegisterCollector({origin, "host", 7, "1.0", "", "", false}));
  // Aged past the store's interface.
  EXPECT_EQ(Sql("UPDATE collectors SET seen_utc = '2026-01-01T00:00:00Z' WHERE origin = 'dead' RETURNING origin"),
            "dead");
  ASSERT_TRUE(store_->SeeCollector("live"));
  const char* origins[] = {"dead", "live", "dead", "me", "dead"};
  std::vector<std::int64_t> ids;
  for (const char* origin : origins) {
    auto id = store_->Enqueue({0, origin, "statvtk/" + std::to_string(ids.size()), "{}", 1, false, ""});
    ASSERT_TRUE(id);
    ids.push_back(*id);
  }
  std::string seen;
  for (const auto& c : store_->Collectors(120).value())
    seen += c.origin + (c.alive ? " alive " : " dead ") + std::to_string(c.pid) + " " + c.seenUtc.substr(0, 4) + "; ";
  EXPECT_EQ(seen, "dead dead 7 2026; live alive 7 2026; me alive 7 2026; ");

  auto adopted = store_->AdoptOutbox("me", 120);
  ASSERT_TRUE(adopted) << adopted.error().reason;
  EXPECT_EQ(*adopted, 3);
  auto again = store_->AdoptOutbox("me", 120);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, 0);
  const auto idsOf = [&](const std::string& origin) {
    std::vector<std::int64_t> out;
    for (const auto& m : store_->Peek(origin, 0).value()) out.push_back(m.id);
    return out;
  };
  EXPECT_EQ(idsOf("me"), (std::vector<std::int64_t>{ids[0], ids[2], ids[3], ids[4]}));
  EXPECT_EQ(idsOf("live"), std::vector<std::int64_t>{ids[1]});
}

// Collectors racing for the same free lines on separate connections: each
// line goes to exactly one, with epoch 1.
TEST(LeasesOnPostgres, RacingTakersWinEachLineExactlyOnce) {
  const std::string db = NewPgDatabase();
  ASSERT_FALSE(db.empty());
  link_test::TempFolder dir;
  constexpr int kLines = 40, kTakers = 4;
  std::vector<std::unique_ptr<RecordStore>> stores;
  for (int i = 0; i < kTakers; ++i) {
    auto s = OpenRecordStore(SharedCluster()->Url(db), dir.Path(), {});
    ASSERT_TRUE(s) << s.error().reason;
    stores.push_back(std::move(*s));
  }
  std::array<std::atomic<int>, kLines> wins{};
  std::atomic<int> failures{0}, ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kTakers; ++t)
    threads.emplace_back([&, t] {
      ++ready;
      while (ready < kTakers) std::this_thread::yield();
      for (int line = 0; line < kLines; ++line) {
        auto epoch = stores[t]->TakeLease("line" + std::to_string(line), "c" + std::to_string(t), 60);
        if (!epoch) ++failures;
        else if (*epoch) wins[line] += **epoch == 1 ? 1 : 100;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, 0);
  for (int line = 0; line < kLines; ++line) EXPECT_EQ(wins[line], 1) << "line" << line;
}

}  // namespace
}  // namespace statvtk::store
