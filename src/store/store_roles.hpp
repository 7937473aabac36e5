// The roles of the collector's store that callers take apart from the
// records: findings, calls, the message outbox, and the collectors sharing
// the store with their line leases. RecordStore derives from each; a caller
// that needs one role takes only it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "store/store_rows.hpp"

namespace statvtk::store {

// A role's base: not copied, destroyed through the role.
class StoreRole {
 public:
  StoreRole() = default;
  StoreRole(const StoreRole&) = delete;
  StoreRole& operator=(const StoreRole&) = delete;

 protected:
  ~StoreRole() = default;
};

class FindingStore : public StoreRole {
 public:
  virtual ~FindingStore() = default;
  // Findings: true when added, false when known.
  virtual Result<bool> AddFinding(const FindingRow& row) = 0;
  // Empty serial: all; newest first.
  virtual Result<std::vector<FindingRow>> Findings(const std::string& serial) = 0;
  // Marks an open finding acknowledged; false when there is none open with that id.
  virtual Result<bool> AckFinding(std::int64_t id, const std::string& by, const std::string& utc) = 0;
};

class CallStore : public StoreRole {
 public:
  virtual ~CallStore() = default;
  // Calls: a row per dial; `line` empty: all lines; newest first, at most `limit` (0: all).
  virtual Result<std::int64_t> AddCall(const CallRow& call) = 0;
  virtual Result<std::vector<CallRow>> Calls(const std::string& line, std::size_t limit) = 0;
};

class OutboxStore : public StoreRole {
 public:
  virtual ~OutboxStore() = default;
  // Outbox: Enqueue inside the read's transaction; Peek the oldest of an
  // origin in order; Ack removes one sent message.
  virtual Result<std::int64_t> Enqueue(const OutboxMessage& message) = 0;
  virtual Result<std::vector<OutboxMessage>> Peek(const std::string& origin, std::size_t limit) = 0;
  virtual Result<void> Ack(std::int64_t id) = 0;
  // The outbox's bound: until at most `keep` messages of `origin` wait,
  // drops first the retained messages a newer one of the same topic
  // supersedes (an instrument's older state, a situation's older ON/OFF),
  // then the oldest messages that are not retained; the newest retained
  // message of a topic is never dropped. The number dropped.
  virtual Result<std::int64_t> TrimOutbox(const std::string& origin, std::int64_t keep) = 0;
  // The messages of `origin` waiting for the broker.
  virtual Result<std::int64_t> OutboxSize(const std::string& origin) {
    (void)origin;
    return MakeError(ErrorCode::StoreSchema, "this store keeps no outbox");
  }
};

class LeaseStore : public StoreRole {
 public:
  virtual ~LeaseStore() = default;
  // Collectors sharing the store (PostgreSQL; SQLite keeps them for one).
  // Every time is the database's own clock, never the host's.
  // Register: inserted or replaced, started and seen now. See: seen now.
  virtual Result<void> RegisterCollector(const CollectorRow& row) { return NoLeases(row.origin); }
  virtual Result<void> SeeCollector(const std::string& origin) { return NoLeases(origin); }
  // Every registered collector, `alive` when seen within `aliveWithinS`; by origin.
  virtual Result<std::vector<CollectorRow>> Collectors(std::int64_t aliveWithinS) {
    (void)aliveWithinS;
    return NoLeases("");
  }
  // Takes the line's lease for `ttlS` seconds when no one holds it (never
  // taken, released or expired): the new epoch, or nothing when another holds it.
  virtual Result<std::optional<std::int64_t>> TakeLease(const std::string& line, const std::string& origin,
                                                        std::int64_t ttlS) {
    (void)line, (void)ttlS;
    return NoLeases(origin);
  }
  // Extends the lease to now + `ttlS` while (line, origin, epoch) still hold
  // it: false when it expired, was released or was taken by another. Inside a
  // read's transaction this is its fence.
  virtual Result<bool> RenewLease(const std::string& line, const std::string& origin, std::int64_t epoch,
                                  std::int64_t ttlS) {
    (void)line, (void)epoch, (void)ttlS;
    return NoLeases(origin);
  }
  // Gives the lease up (when still this holder's); the next taker bumps the epoch.
  virtual Result<void> ReleaseLease(const std::string& line, const std::string& origin, std::int64_t epoch) {
    (void)line, (void)epoch;
    return NoLeases(origin);
  }
  // Every lease, by line.
  virtual Result<std::vector<LeaseRow>> Leases() { return NoLeases(""); }
  // The outbox of every other collector not seen for `unseenForS` seconds
  // becomes `origin`'s, in one statement (each message adopted once, its
  // order kept: ids ascend); the number adopted.
  virtual Result<std::int64_t> AdoptOutbox(const std::string& origin, std::int64_t unseenForS) {
    (void)unseenForS;
    return NoLeases(origin);
  }

 private:
  static Error NoLeases(const std::string&) {
    return MakeError(ErrorCode::StoreSchema, "this store keeps no collectors or leases");
  }
};

}  // namespace statvtk::store
