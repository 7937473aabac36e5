// What the analysis reads of one instrument: its plausible periods per
// archive (decoded, one per period, in time order), its events as codes, the
// words of its status bits and its clock. Made from a statistics model, or
// built directly by a caller that holds decoded records (the collector's
// store, a benchmark).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stats/stat_model.hpp"

namespace statvtk::analysis {

// One period of an archive.
struct Period {
  long long start = 0;              // calendar seconds of the period's start (no time zone)
  double forward = 0, reverse = 0;  // volume increments, m³ (only when `known`)
  double operating = 0, error = 0;  // operating and error time increments, hours (only when `known`)
  std::uint32_t flags = 0;          // status bits as stored
  bool known = false;               // the increments are known
};

// What an event column stands for.
enum class EventRole {
  PowerOn,      // the power came back
  PowerOff,     // the power went off
  Calibration,  // calibrated
  Settings,     // settings changed (also the integration interval)
  ClockSet,     // the clock was set
  Mark,         // a one-off mark (reset, archive cleared)
  State,        // a state the event sets and a later event clears (an alarm)
};

struct EventColumn {
  std::string name;  // the model's heading ("Выкл.", "Gmin")
  EventRole role = EventRole::State;
};

// One event: its time and the columns it has set (bit c: column c).
struct MeterEvent {
  long long time = 0;  // calendar seconds
  std::uint64_t set = 0;
};

struct EventLog {
  std::vector<EventColumn> columns;  // at most 64
  std::vector<MeterEvent> events;    // in time order
};

struct MeterRecords {
  std::vector<std::string> flagNames;  // bit k's word; "" for a bit the model does not name
  bool countsHours = false;            // the periods carry operating and error time
  std::vector<Period> hourly, daily;   // strictly increasing starts
  EventLog events;
  std::optional<long long> clock;  // the meter's clock at the read, calendar seconds
};

// The role of an event column by its heading; State for any heading not
// known as one of the others.
EventRole EventRoleOf(const std::string& heading);

// The event window's rows as codes: the columns of marks ("+", "!", "-")
// with their roles, each row whose time ("DD.MM.YY hh:mm:ss" or
// "DD/MM/YY hh:mm:ss") reads as a date.
EventLog EventLogOf(const EventTable& table);

// A model's records: the periods of its hourly and daily archives whose slot
// is a plausible period (VerdictOf with the meter's clock); two records of
// one period (an hour that closed twice) as one, their increments added; a
// record whose index entry before it is no period has no increments.
MeterRecords MeterRecordsOf(const StatModel& model);

}  // namespace statvtk::analysis
