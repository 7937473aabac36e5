// One call of a pool's modem as the call log keeps it: taken from the
// dialogue's events while the line is read (when it was dialled, when
// CONNECT came, when the hang-up's OK came) and told as the modem's answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "reading/read_events.hpp"

namespace statvtk::collect {

// The call log's word for a dial's answer: "CONNECT", "BUSY", "NO ANSWER",
// "NO CARRIER", "NO DIALTONE", "ERROR", "TIMEOUT" (no answer within ConnectWait).
std::string OutcomeWord(DialOutcome outcome, const std::string& text);

class CallTap final : public ReadEvents {
 public:
  using Clock = std::chrono::system_clock;
  void On(const ReadEvent& e) override;

  // The modem itself failed: the port did not open or AT got no OK. No dial was made.
  bool ModemTrouble() const { return (openFailed_ || noModem_) && !dialed_; }
  std::string TroubleText() const { return trouble_; }
  bool Dialed() const { return dialed_.has_value(); }
  bool Connected() const { return connected_.has_value(); }
  // A connected call whose hang-up got no OK: the carrier was lost during the
  // read, unless the read went through (a modem that keeps a longer guard
  // time than the escape's does not take "+++"; the port's close ends its call).
  bool Dropped(bool readWhole = false) const { return connected_ && !hungUp_ && !readWhole; }
  // The outcome of the call: the dial's answer, "NO CARRIER" for a dropped call.
  std::string Outcome(bool readWhole = false) const;
  std::optional<Clock::time_point> DialedAt() const { return dialed_; }
  std::optional<Clock::time_point> ConnectedAt() const { return connected_; }
  // When the hang-up's OK came; else when the hang-up began (a dropped
  // call), else `otherwise` (the read's end).
  Clock::time_point EndedAt(Clock::time_point otherwise) const;
  // Seconds from CONNECT to the end, 0 when never connected.
  double ConnectedSeconds(Clock::time_point otherwise) const;

 private:
  std::optional<Clock::time_point> dialed_, connected_, hangUp_, hungUp_;
  bool openFailed_ = false, noModem_ = false;
  std::string outcome_, trouble_;
};

}  // namespace statvtk::collect
