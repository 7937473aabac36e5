// Ctrl+C during a job: the stop request "Остановить чтение". The first
// SIGINT, SIGTERM or SIGHUP (the terminal or SSH session closed; on Windows
// a console Ctrl+C, Ctrl+Break or the console closing, logging off, shutting
// down) sets the stop request and the link's abort flag, so that what was
// fetched is kept; a second one ends the program as usual.
// The handlers sit in stop_signal_posix.cpp and stop_signal_win32.cpp.
#pragma once

#include <atomic>

namespace statvtk::cli {

class StopSignal {
 public:
  StopSignal();   // installs the handlers and clears both flags
  ~StopSignal();  // restores the previous handlers
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  static std::atomic<bool>& StopFlag();
  static std::atomic<bool>& AbortFlag();
  static bool Stopped() { return StopFlag().load(); }
  // Sets both flags; safe to call from a signal or console handler.
  static void RequestStop();
};

}  // namespace statvtk::cli
