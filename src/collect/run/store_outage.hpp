// A store that fails as the reads start (a server down, a damaged file):
// said at once, then once a minute while it stays so, and once when it
// answers again; the read rows it could not finish are finished then.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "store/record_store.hpp"

namespace statvtk::collect {

class StoreOutage {
 public:
  using Clock = std::chrono::steady_clock;
  explicit StoreOutage(Clock::duration every = std::chrono::minutes(1)) : every_(every) {}

  // A step on the store failed with `reason`: the log line to write now (the
  // first of an outage, then one each `every` with the count meanwhile), or
  // nothing.
  std::optional<std::string> Failed(const std::string& reason);
  // The store answered: after an outage the line that says so (once), else nothing.
  std::optional<std::string> Answered();
  bool Down() const;

  // A read row that could not be finished: finished by Settle once the store answers.
  void Unfinished(std::int64_t readId, store::ReadFinish finish);
  // Finishes what waits and writes the outage's finding (one per outage);
  // call with the store answering, on the writer's connection.
  Result<void> Settle(store::RecordStore& s);

 private:
  mutable std::mutex mutex_;
  Clock::duration every_;
  bool down_ = false;
  Clock::time_point since_{}, said_{};
  std::string sinceUtc_, firstReason_;
  std::int64_t failures_ = 0, unsaid_ = 0;
  std::optional<store::FindingRow> finding_;  // the outage just over, not yet written
  std::vector<std::pair<std::int64_t, store::ReadFinish>> unfinished_;
};

}  // namespace statvtk::collect
