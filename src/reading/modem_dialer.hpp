// Dialing the instrument through a Hayes modem on the serial link before a
// reading job's first frame, and hanging up after it (or at a stop).
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "link/tmod07.hpp"
#include "reading/read_events.hpp"
#include "reading/read_job.hpp"

namespace statvtk {

class ModemDialer {
 public:
  // Every wait is made of steps of this length, the run's stop looked at
  // before each: the dial's connect wait, the pauses between attempts and the
  // hang-up's guard silences alike.
  static constexpr std::chrono::milliseconds kStep{100};

  // `step` shortens every wait alike (tests run long dialogues fast with it).
  ModemDialer(Tmod07& link, ReadEvents& events, const std::atomic<bool>& stop, ModemDialJob job,
              std::chrono::milliseconds step = kStep);

  // Initialises the modem and dials; true once CONNECT came (at once when the
  // transport is not a modem). Every step is an event; a failure gives false;
  // a stop sets the attempt count to 0, hangs up and gives false.
  bool ModemConnect();
  // The end of a connected call: "+++" with its guard times, then ATH0 (the
  // modem transport only). After a stop there is no time for the guard
  // silences: ATH0 goes at once and no answer is awaited; closing the port
  // then drops DTR, which hangs up a connected call. A call that never
  // connected (a failed dial, a stop while dialling) is ended by ATH0 alone.
  void ModemHangUp();

  // The job's attempt count (0 after a stop).
  int Attempts() const { return job_.attempts; }
  const ModemDialJob& Job() const { return job_; }
  // How the modem answered each dial, in order.
  const std::vector<DialOutcome>& Dials() const { return dials_; }
  // Why ModemConnect gave false, in the modem's words ("BUSY") or the
  // dialogue's ("модем не отвечает", "нет номера телефона").
  const std::string& Failure() const { return failure_; }

 private:
  bool Wait(int steps);  // false when the stop came
  bool Aborted();        // the stop's path; always false
  // Ends a call that never connected: the modem is still in command mode, so
  // ATH0 goes without the escape and its guard silences.
  void EndCall();
  bool AskForOk(const std::string& command);                                // false: not answered with OK, or stopped
  std::string AwaitAnswer(std::chrono::steady_clock::time_point deadline);  // "" when silent or stopped
  void Tell(ModemNote note, std::string text = {}, int attempt = 0, DialOutcome outcome = DialOutcome::Other) {
    events_.On(event::Modem{note, attempt, job_.attempts, outcome, std::move(text)});
  }

  Tmod07& link_;
  ReadEvents& events_;
  const std::atomic<bool>& stop_;
  ModemDialJob job_;
  std::chrono::milliseconds step_;
  std::vector<DialOutcome> dials_;
  std::string failure_;
};

}  // namespace statvtk
