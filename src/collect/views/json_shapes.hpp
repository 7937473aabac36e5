// The JSON shapes of the REST API and of the MQTT payloads: one record, one
// read, one finding, one instrument's state.
#pragma once

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
// {"id", "serial", "kind", "archive" (null: about the instrument), "period", "detail", "read_id", "found_utc",
// "acked_utc", "acked_by" (both null while it is open)}
Json FindingJson(const store::FindingRow& f);
// A situation as GET /api/situations gives it, without the instrument's
// serial and name (the API adds them; the month's export has them above).
Json SituationJson(const store::SituationRow& s);

}  // namespace statvtk::collect
