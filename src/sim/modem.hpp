// A Hayes modem in front of the instrument: command mode with echo and result
// codes (AT, ATD, ATH, ATO, ATE, ATZ), dialing with BUSY / NO ANSWER /
// NO CARRIER / CONNECT outcomes, data mode, and the +++ escape with its guard
// time. It is driven by bytes and by the clock, and does no I/O itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace statvtk::sim {

struct ModemOptions {
  std::uint32_t busyCalls = 0;       // the first K calls get BUSY
  std::uint32_t noAnswerCalls = 0;   // the next K ring out: NO ANSWER
  std::uint32_t noCarrierCalls = 0;  // the next K fail: NO CARRIER
  std::uint32_t ringMs = 3000;       // ringing before NO ANSWER / NO CARRIER
  std::uint32_t dialDelayMs = 1500;  // from the dial command to CONNECT or BUSY
  std::uint32_t guardMs = 1000;      // silence before and after +++
  std::uint32_t connectBaud = 9600;  // shown in CONNECT
};

// How a telephone exchange answers a dial: the modem's result text and the
// time it takes to come.
struct DialAnswer {
  std::string outcome;  // "CONNECT", "BUSY", "NO ANSWER", ...
  std::uint32_t delayMs = 0;
};

class Modem {
 public:
  using Clock = std::chrono::steady_clock;
  using DialPlan = std::function<DialAnswer(const std::string& number)>;
  enum class State { Command, Dialing, Online, OnlineCommand };

  explicit Modem(ModemOptions o) : opt_(o) {}
  // Dials go to `plan` instead of the options' counts of failed calls.
  void SetDialPlan(DialPlan plan) { plan_ = std::move(plan); }

  // One byte from the terminal. Data for the instrument (in data mode) is
  // appended to `toInstrument`, text for the terminal to `toTerminal`.
  void FromTerminal(std::uint8_t b, Clock::time_point now, std::vector<std::uint8_t>& toInstrument,
                    std::string& toTerminal);
  // Timed events (dial outcome, end of the escape guard time).
  void Tick(Clock::time_point now, std::string& toTerminal);
  std::optional<Clock::time_point> NextDeadline() const;

  // The terminal went away (port closed): the call ends, settings reset.
  void Detach();
  // The far end hung up: NO CARRIER to the terminal, back in command mode.
  void DropCarrier(std::string& toTerminal);

  State GetState() const { return state_; }
  bool Online() const { return state_ == State::Online; }
  std::uint32_t Calls() const { return calls_; }

 private:
  void Line(const std::string& line, Clock::time_point now, std::string& out);
  void Dial(const std::string& number, Clock::time_point now);

  ModemOptions opt_;
  DialPlan plan_;
  State state_ = State::Command;
  bool echo_ = true;
  std::string line_;
  std::uint32_t calls_ = 0;
  std::string outcome_;
  Clock::time_point dialAt_{};
  Clock::time_point lastRx_{};
  int plus_ = 0;
  Clock::time_point escapeAt_{};
};

}  // namespace statvtk::sim
