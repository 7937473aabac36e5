// The JSON shapes of the REST API and of the MQTT payloads: one record, one
// read, one finding, one instrument's state.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/json_text.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// {"period", "forward_total", "reverse_total", "forward_increment" (null:
// unknown), "reverse_increment", "flags", "valid", "fields" (the model's
// other values), "read_id", "utc_offset_s"}
Json RecordJson(const store::RecordRow& r);
// The same with "serial" and "archive" in front (export, MQTT).
Json SerialRecordJson(const store::RecordRow& r);
// {"id", "serial", "name", "line", "started_utc", "ended_utc", "mode", "outcome"
// (null while running), "error", "requests", "file", "recovered", "lost", "added", "conflicts"}
Json ReadJson(const store::ReadRow& r);
// {"id", "serial", "kind", "archive" (null: about the instrument), "period", "detail", "read_id", "found_utc"}
Json FindingJson(const store::FindingRow& f);

// How an instrument looks on the page: "ok" (green), "late" (amber), "down"
// (red), by the age of its last good read against its interval and by the
// hourly completeness; "never" when it was never read; "clock" (amber) when
// it answers but its clock is off, so that its records fall outside the
// days counted (`clockOff`: its last good read found the clock off).
enum class Health { Ok, Late, Down, Never, Clock };
std::string_view HealthName(Health h);
// The state in words as the page shows it, and its rank (0 the worst) for
// sorting: the page takes both from the data, so a new state needs no change there.
std::string_view HealthText(Health h);
int HealthRank(Health h);
Health HealthOf(const store::InstrumentSummary& s, std::int64_t everySeconds, std::chrono::system_clock::time_point now,
                bool clockOff = false);

}  // namespace statvtk::collect
