// Ctrl+C during a job: the stop request "Остановить чтение". The first
// SIGINT, SIGTERM or SIGHUP (the terminal or SSH session closed; on Windows
// a console Ctrl+C, Ctrl+Break or the console closing, logging off, shutting
// down) sets the stop request, which every wait of the read looks at, so that
// what was fetched is kept; a second one ends the program as usual.
// The handlers sit in stop_signal_posix.cpp and stop_signal_win32.cpp.
#pragma once

#include <atomic>

namespace statvtk::cli {

class StopSignal {
 public:
  StopSignal();   // installs the handlers and clears the stop request
  ~StopSignal();  // restores the previous handlers
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  static std::atomic<bool>& StopFlag();
  static bool Stopped() { return StopFlag().load(); }
  // Sets the stop request; safe to call from a signal or console handler.
  static void RequestStop();
};

}  // namespace statvtk::cli
