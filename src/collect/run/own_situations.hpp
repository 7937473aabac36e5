// The abnormal situations the collector sees itself, not in the records
// (source "collector"): another meter answering at an instrument's address
// (meter_replaced), the meter's clock off the collector's (clock_drift), a
// call-in from an address the listener does not allow (call_in_refused).
// Each is written with its MQTT state in one transaction; a failure is
// logged and never fails a read or a connection.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "collect/config/collect_config.hpp"
#include "collect/run/store_writer.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::collect {

using SituationLog = std::function<void(const std::string&)>;

// The PC's local hour of `t`, "YYYY-MM-DD HH:00": the hour a collector's situation is seen in.
std::string LocalHourText(std::time_t t);

// The serial of an instrument's newest read that found one (the store's
// instrument is its name on its line at this collector, or at any collector
// on a shared line); "" when none did.
Result<std::string> KnownSerial(store::RecordStore& s, const Config& cfg, const LineConfig& line,
                                const std::string& name);

// `newSerial` answered at the address where the store knew `oldSerial`: the
// new serial's meter_replaced, a one-hour event ("old → new" its detail).
void NoteMeterReplaced(StoreWriter& writer, const std::string& oldSerial, const std::string& newSerial,
                       std::time_t when, const SituationLog& log);

// The meter's clock (the read's header) against the PC's at `pcTime`: its
// clock_drift raised past `limitS`, cleared within it. Nothing when the
// header holds no date.
void CheckClockDrift(StoreWriter& writer, const std::string& serial, const StatModel& model, std::time_t pcTime,
                     long long limitS, const SituationLog& log);

// A call-in of a known Id from `host`, outside AllowFrom=: call_in_refused
// of each of `serials` (the line's instruments), open until a call of the
// line is accepted (`refused` false: then cleared).
void NoteCallIn(StoreWriter& writer, const std::vector<std::string>& serials, bool refused, const std::string& host,
                const SituationLog& log);

}  // namespace statvtk::collect
