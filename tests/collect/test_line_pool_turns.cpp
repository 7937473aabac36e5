// The run loop's pool with fewer workers than lines due: every line is read
// in its turn, none starved by lines that keep coming due again.
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "collect/run/line_pool.hpp"
#include "support/wait_until.hpp"

namespace statvtk::collect {
namespace {

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
