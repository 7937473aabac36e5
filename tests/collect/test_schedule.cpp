// When an instrument is due: intervals, offsets, night windows, and the first
// read of a collector that starts with a store that already holds reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "collect/fleet/schedule.hpp"
#include "store/periods.hpp"

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

}  // namespace
}  // namespace statvtk::collect
