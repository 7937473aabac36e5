// One instrument as `statvtk-collect status` and GET /api/instruments
// describe it: gathered from the store and the collector's figures once,
// written as JSON by one function, so both show the same schema.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "collect/fleet/fleet_live.hpp"
#include "collect/fleet/health.hpp"
#include "collect/views/json_shapes.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

struct InstrumentView {
  store::InstrumentRow instrument;  // serial and model empty: never answered
  std::string lastGoodReadUtc;      // empty: never
  std::string nextDueUtc;           // empty: unknown (another collector's)
  std::int64_t everyS = 3600;       // from collect.ini, else as the store keeps it, else an hour
  Health health = Health::Never;
  bool down = false;  // by the health rule's IsDown (also never read but silent): what the alerts tell
  std::array<std::optional<double>, 3> completeness{};  // by kArchiveKinds; empty: the model keeps none
  std::array<std::int64_t, 3> records{}, gaps{};
  int failuresInRow = 0;  // reads since the last good one
  bool silent = false;    // failuresInRow reached SilentAfter=
  struct Failure {
    std::string utc, reason;
  };
  std::optional<Failure> lastFailure;  // the last read failed
  std::vector<store::FindingRow> findings;
  std::int64_t openFindings = 0;        // not acknowledged
  std::array<std::string, 3> newest{};  // the newest period held per archive; empty: none
  std::int64_t conflicts = 0;
  std::string connection;  // an incoming line's: "подключён с …" or "ждёт подключения модема"
  std::string heldBy;  // the collector holding its shared line's lease now; empty: not shared or not held
};

// Every instrument of the store, then those of collect.ini (`live.configured`)
// that never answered; each with who holds its line's lease.
Result<std::vector<InstrumentView>> FleetView(store::RecordStore& store, const FleetLive& live);

// {"serial", "model", "name", "line", "address", "first_seen_utc",
// "last_read_utc" (the last good read; null: never), "next_due_utc" (null:
// unknown), "every_s", "health", "health_text", "health_rank"
// (0 the worst), "completeness_pct" {archive: % or null},
// "records" {archive: n}, "gaps" {archive: n}, "failures_in_row", "silent",
// "last_failure" ({"utc", "reason"} or null), "findings" [finding, ...],
// "open_findings", "conflicts", "held_by" (the collector holding its line's
// lease; null: the line is not shared or not held)}
Json InstrumentJson(const InstrumentView& v);

}  // namespace statvtk::collect
