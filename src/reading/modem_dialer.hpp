// Dialing the instrument through a Hayes modem on the serial link before a
// reading job's first frame, and hanging up after it (or on abort).
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "base/progress_observer.hpp"
#include "link/settings.hpp"
#include "link/tmod07.hpp"

namespace statvtk {

// The job's dialing values.
struct ModemDialJob {
  std::string phoneNo;
  bool pulse = false;      // pulse dialing (ATDP); tone (ATDT) otherwise
  int attempts = 3;        // M: dial attempts, 0..255 (0: connect without dialing)
  int connectWaitS = 60;   // W: seconds to wait for the modem's answer to a dial
  std::string initString;  // sent after "AT" when not empty
  bool modem = true;       // false on the serial and TCP transports: nothing to dial
};

// The dialing values of the connection settings: Modem/PhoneNo, not Modem/Tone,
// Settings/Reconnects, Modem/ConnectWait (1..255), Modem/InitString, ConnectMode 1.
ModemDialJob ModemDialJobFrom(const ConnectionSettings& s);

class ModemDialer {
 public:
  // Every wait is made of steps of this length, the run's stop looked at
  // before each: the dial's connect wait, the pauses between attempts and the
  // hang-up's guard silences alike.
  static constexpr std::chrono::milliseconds kStep{100};

  // `step` shortens every wait alike (tests run long dialogues fast with it).
  ModemDialer(Tmod07& link, ProgressObserver& log, const std::atomic<bool>& stop, ModemDialJob job,
              std::chrono::milliseconds step = kStep);

  // Initialises the modem and dials; true once CONNECT came (at once when the
  // transport is not a modem). Every failure is a logged line and false; a
  // stop logs, sets the attempt count to 0, hangs up and gives false.
  bool ModemConnect();
  // "+++" with its guard times, then ATH0 (the modem transport only). After
  // a stop there is no time for the guard silences: ATH0 goes at once (it
  // ends a call still being dialled) and no answer is awaited; closing the
  // port then drops DTR, which hangs up a connected call.
  void ModemHangUp();

  // The job's attempt count (0 after an abort).
  int Attempts() const { return job_.attempts; }
  const ModemDialJob& Job() const { return job_; }

 private:
  bool Wait(int steps);                       // false when the stop came
  bool Aborted();                             // the stop's path; always false
  bool AskForOk(const std::string& command);  // false: not answered with OK, or stopped
  std::string ReadReply();                    // one modem line, upper-cased
  void Log(const std::string& line) { log_.LogLine(line); }

  Tmod07& link_;
  ProgressObserver& log_;
  const std::atomic<bool>& stop_;
  ModemDialJob job_;
  std::chrono::milliseconds step_;
};

}  // namespace statvtk
