// What is worth telling somebody at once, found by comparing the fleet's
// state with the one looked at before: an instrument down or silent, its
// clock off, a finding opened, an abnormal situation opened, a line down,
// the store or the broker gone; and each one's end.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/json_text.hpp"
#include "collect/views/instrument_view.hpp"

namespace statvtk::collect {

// `kind`: "instrument_down", "instrument_clock", "finding", "situation",
// "line_down", "store_down", "broker_down"; `state`: "raised" or "cleared".
struct AlertEvent {
  std::string kind, state;
  std::string instrument, line, serial, text;
  std::string timeUtc;
};
// {"kind", "state", "instrument", "line", "serial", "text", "time"}
Json AlertJson(const AlertEvent& e);

// The fleet as it is now.
struct AlertPicture {
  std::optional<std::string> storeDown;                        // why the store did not answer
  std::optional<std::string> brokerDown;                       // why the broker is not connected; none: up, or MQTT off
  std::map<std::string, std::string> linesDown;                // line -> why its instruments failed
  std::vector<InstrumentView> fleet;                           // empty while the store is down
  std::optional<std::vector<store::SituationRow>> situations;  // the open ones; none: not known now
};

class AlertWatch {
 public:
  // The events since the last look. The first look raises what is wrong
  // already except the findings, which it takes as known.
  std::vector<AlertEvent> Look(const AlertPicture& now, const std::string& timeUtc);

 private:
  bool looked_ = false;
  std::optional<std::string> storeDown_, brokerDown_;
  std::map<std::string, std::string> linesDown_;
  std::set<std::string> down_, clock_;  // instruments by name
  std::map<std::int64_t, AlertEvent> openFindings_;
  std::optional<std::map<std::int64_t, AlertEvent>> openSituations_;  // none: never known yet

  // A situation raised when it opens, cleared when it closes; the first
  // time they are known, the open ones are taken as known.
  void LookAtSituations(const AlertPicture& now, std::vector<AlertEvent>& out);
};

}  // namespace statvtk::collect
