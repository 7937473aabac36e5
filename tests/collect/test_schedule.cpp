// When an instrument is due: intervals, offsets, night windows, the first
// read of a collector that starts with a store that already holds reads; the
// one scheduler of every kind of line: where a read moves a turn, where a
// restart resumes it from the store (failures counted), the store's reads
// found by the line's own name.
// The run loop's pool with fewer workers than lines due: every line read in its turn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>

#include "collect/config/identity.hpp"
#include "collect/fleet/schedule.hpp"
#include "collect/fleet/scheduler.hpp"
#include "support/temp_folder.hpp"
#include "store/periods.hpp"
#include "collect/run/line_pool.hpp"
#include "support/wait_until.hpp"

namespace statvtk::collect {
namespace {

// The cases are written in UTC: the schedule works in the PC's local time.
class Schedule : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz, hadTz_ = true;
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz_) setenv("TZ", saved_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::string saved_;
  bool hadTz_ = false;
};

std::time_t At(const char* utc) { return *store::ParseUtc(utc); }

InstrumentConfig Instrument(const char* every, const char* offset, const char* window) {
  InstrumentConfig in;
  in.everyS = *ParseDuration(every);
  in.offsetS = *ParseDuration(offset, true);
  if (*window) in.window = *ParseWindow(window);
  return in;
}

TEST_F(Schedule, NextDueAfterAGoodRead) {
  struct Case {
    const char *every, *offset, *window, *read, *due;
  } cases[] = {
      // docs/collect-reference.md's example: the next night, not five days later
      {"1d", "0", "01:00-05:00", "2026-12-08T15:28:00Z", "2026-12-09T01:00:00Z"},
      {"1d", "0", "01:00-05:00", "2026-12-09T01:30:00Z", "2026-12-10T01:00:00Z"},
      {"2d", "0", "01:00-05:00", "2026-12-08T15:28:00Z", "2026-12-10T01:00:00Z"},
      {"36h", "0", "01:00-05:00", "2026-12-08T02:00:00Z", "2026-12-10T01:00:00Z"},
      {"1d", "0", "22:00-02:00", "2026-12-09T01:00:00Z", "2026-12-09T22:00:00Z"},  // a window over midnight
      {"1d", "0", "", "2026-12-08T15:28:00Z", "2026-12-09T00:00:00Z"},
      {"1h", "0", "", "2026-12-09T10:15:00Z", "2026-12-09T11:00:00Z"},
      {"1h", "5m", "", "2026-12-09T10:15:00Z", "2026-12-09T11:05:00Z"},
      {"1h", "0", "01:00-05:00", "2026-12-09T02:10:00Z", "2026-12-09T03:00:00Z"},
      {"1h", "0", "01:00-05:00", "2026-12-09T04:30:00Z", "2026-12-10T01:00:00Z"},
      {"1h", "0", "22:00-04:00", "2026-12-09T23:10:00Z", "2026-12-10T00:00:00Z"},
      {"1h", "30m", "01:00-01:10", "2026-12-09T12:00:00Z", "2026-12-10T01:00:00Z"},  // no grid time inside
  };
  for (const auto& c : cases) {
    const auto in = Instrument(c.every, c.offset, c.window);
    EXPECT_EQ(store::UtcText(NextDue(in, At(c.read))), c.due)
        << "Every=" << c.every << " Offset=" << c.offset << " Window=" << c.window << " read " << c.read;
  }
}

TEST_F(Schedule, AStartReadsOnlyWhatIsDue) {
  const std::time_t now = At("2026-12-09T15:29:00Z");
  struct Case {
    const char *every, *window;
    std::optional<std::time_t> last;
    const char* due;
  } cases[] = {
      {"1h", "", std::nullopt, "2026-12-09T15:29:00Z"},                           // never read: now
      {"1h", "", now - 30, "2026-12-09T16:00:00Z"},                               // read 30 s ago: its next hour
      {"1h", "", now - 3 * 3600, "2026-12-09T15:29:00Z"},                         // overdue: now
      {"1d", "01:00-05:00", std::nullopt, "2026-12-10T01:00:00Z"},                // not in the daytime
      {"1d", "01:00-05:00", At("2026-12-01T02:00:00Z"), "2026-12-10T01:00:00Z"},  // overdue, outside
      {"1d", "01:00-05:00", At("2026-12-09T01:10:00Z"), "2026-12-10T01:00:00Z"},  // read last night
      {"1d", "14:00-18:00", At("2026-12-07T15:00:00Z"), "2026-12-09T15:29:00Z"},  // overdue, inside
  };
  for (const auto& c : cases) {
    const auto in = Instrument(c.every, "0", c.window);
    EXPECT_EQ(store::UtcText(FirstDue(in, c.last, now)), c.due)
        << "Every=" << c.every << " Window=" << c.window << " last " << (c.last ? store::UtcText(*c.last) : "none");
  }
}

// Resumed at 2026-12-09T15:29:00Z from what the store holds, then one read.
TEST_F(Schedule, EveryKindResumesFromTheStoreAndIsRescheduledByOneRule) {
  CollectorConfig c;  // RetryFirst=60, SilentAfter=3
  const std::time_t now = At("2026-12-09T15:29:00Z");
  const std::optional<std::time_t> never;
  const struct {
    const char *kind, *every, *window;
    std::optional<std::time_t> good, failure;  // the store's last good read and last failure
    int failures;                              // in a row since the good one
    const char* resume;
    ReadEnd end;
    const char *after, *next;  // the read's end, its next turn
    int failuresAfter;
  } cases[] = {
      {"line pool", "1h", "", now - 30, never, 0, "2026-12-09T16:00:00Z", ReadEnd::Good, "2026-12-09T16:00:05Z",
       "2026-12-09T17:00:00Z", 0},
      // Two failures, the last 30 s ago: the second pause (120 s) from it;
      // the third makes it silent: once an interval.
      {"line pool", "1h", "", now - 7200, now - 30, 2, "2026-12-09T15:30:30Z", ReadEnd::Failed, "2026-12-09T15:30:30Z",
       "2026-12-09T16:30:30Z", 3},
      {"modem pool site", "1d", "01:00-05:00", At("2026-12-09T01:10:00Z"), never, 0, "2026-12-10T01:00:00Z",
       ReadEnd::Failed, "2026-12-10T01:00:10Z", "2026-12-10T01:01:10Z", 1},
      // A retry that falls past the window waits for its next opening.
      {"modem pool site", "1d", "01:00-05:00", At("2026-12-08T01:10:00Z"), At("2026-12-09T04:59:30Z"), 1,
       "2026-12-10T01:00:00Z", ReadEnd::Failed, "2026-12-10T04:59:30Z", "2026-12-11T01:00:00Z", 2},
      {"call-in modem", "1h", "", never, never, 0, "2026-12-09T15:29:00Z", ReadEnd::Failed, "2026-12-09T15:29:10Z",
       "2026-12-09T15:30:10Z", 1},
      {"call-in modem", "1h", "", never, now - 600, 4, "2026-12-09T16:19:00Z", ReadEnd::Good, "2026-12-09T16:19:05Z",
       "2026-12-09T17:00:00Z", 0},
      {"call-in modem", "1h", "", now - 60, never, 0, "2026-12-09T16:00:00Z", ReadEnd::Stopped, "2026-12-09T16:00:30Z",
       "2026-12-09T16:00:00Z", 0},
  };
  for (const auto& k : cases) {
    const InstrumentConfig in = Instrument(k.every, "0", k.window);
    const std::string what = std::string(k.kind) + " Every=" + k.every + " Window=" + k.window;
    Due d{&in, ResumeAt(c, in, {k.good, k.failures, k.failure}, now), k.failures, k.good};
    EXPECT_EQ(store::UtcText(d.at), k.resume) << what;
    EXPECT_FALSE(TakeDue(d, d.at - 1)) << what;
    EXPECT_TRUE(TakeDue(d, d.at)) << what;
    AfterRead(c, d, k.end, At(k.after));
    EXPECT_EQ(store::UtcText(d.at), k.next) << what;
    EXPECT_EQ(d.failures, k.failuresAfter) << what;
  }
}

// A turn that came while its window was open but waited (its line busy)
// until the window closed is not read outside it: its next opening.
TEST_F(Schedule, ATurnWhoseWindowClosedWhileItWaitedMovesToTheNextOpening) {
  const InstrumentConfig in = Instrument("1d", "0", "01:00-05:00");
  Due d{&in, At("2026-12-09T04:59:00Z"), 2, std::nullopt};
  EXPECT_FALSE(TakeDue(d, At("2026-12-09T05:00:01Z")));
  EXPECT_EQ(store::UtcText(d.at), "2026-12-10T01:00:00Z");
  EXPECT_EQ(d.failures, 2);
}

// The reads of an instrument whose Line= spells its line in another case
// are found under the line's own name: its last good read and the failures
// since decide where a restart resumes it.
TEST_F(Schedule, ARestartResumesFromTheReadsOfTheLinesOwnName) {
  link_test::TempFolder dir;
  auto parsed =
      ParseConfig("collect.ini", "[Line Bus]\nMode=tcp\nTcp=127.0.0.1:1\n\n[Instrument boiler]\nLine=bus\nAddress=3\n");
  ASSERT_TRUE(parsed.config) << parsed.Text("collect.ini");
  const Config& cfg = *parsed.config;
  auto s = store::OpenRecordStore("collect.sqlite", dir.Path(), StoreOptionsOf(cfg.collector));
  ASSERT_TRUE(s) << s.error().reason;
  const std::time_t t0 = std::time(nullptr) - 1000;
  const auto read = [&](std::time_t ended, store::ReadOutcome outcome) {
    const auto id = (*s)->StartRead({"S1", "boiler", "Bus", store::UtcText(ended - 5)});
    ASSERT_TRUE(id) << id.error().reason;
    store::ReadFinish finish;
    finish.serial = "S1";
    finish.endedUtc = store::UtcText(ended);
    finish.outcome = outcome;
    ASSERT_TRUE((*s)->FinishRead(*id, finish));
  };
  read(t0, store::ReadOutcome::Done);
  read(t0 + 100, store::ReadOutcome::Failed);
  read(t0 + 200, store::ReadOutcome::Failed);
  const auto due = Resume(**s, cfg, {&cfg.instruments[0]}, t0 + 230);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].lastGood, t0);
  EXPECT_EQ(due[0].failures, 2);
  EXPECT_EQ(due[0].at, t0 + 200 + 120);  // the second pause from the last failure
}

using namespace std::chrono_literals;

TEST(LinePoolTurns, OneWorkerReadsEveryLineDueInItsTurn) {
  std::string ini = "[Collector]\nWorkers=1\n\n";
  for (const char* line : {"a", "b", "c"})
    ini += std::string("[Line ") + line + "]\nMode=tcp\nTcp=127.0.0.1:" + std::to_string(4000 + *line) +
           "\n\n[Instrument i" + line + "]\nLine=" + line + "\nAddress=1\n\n";
  auto parsed = ParseConfig("collect.ini", ini);
  ASSERT_TRUE(parsed.config) << parsed.Text("collect.ini");
  std::mutex mutex;
  std::vector<std::string> reads;
  LineWork work{[](const Config&, const LineConfig&, const std::vector<const InstrumentConfig*>& instruments) {
                  std::vector<Due> due;
                  for (const auto* in : instruments) due.push_back({in, 0, 0, std::nullopt});
                  return due;
                },
                [&](const Config&, const LineConfig& line, std::vector<Due>& due, std::atomic<bool>&, std::int64_t) {
                  {
                    std::lock_guard lock(mutex);
                    reads.push_back(line.name);
                  }
                  // Due again as soon as read: an interval shorter than the pass.
                  for (auto& d : due) d.at = std::time(nullptr);
                  return true;
                }};
  std::atomic<bool> stop{false};
  {
    LinePool pool(work, stop);
    pool.Apply(std::make_shared<const Config>(*parsed.config));
    ASSERT_TRUE(WaitUntil(
        [&] {
          std::lock_guard lock(mutex);
          return reads.size() >= 30;
        },
        60s));
  }
  std::map<std::string, int> perLine;
  for (std::size_t i = 0; i < 30; ++i) ++perLine[reads[i]];
  for (const char* line : {"a", "b", "c"}) EXPECT_GE(perLine[line], 9) << line;
}

}  // namespace
}  // namespace statvtk::collect
