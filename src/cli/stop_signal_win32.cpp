// Ctrl+C on Windows: a console control handler. The first Ctrl+C (or
// Ctrl+Break, or the console closing) sets the stop request; the handler
// then steps aside, so a second one ends the program as usual.
#include "cli/stop_signal.hpp"

#include <windows.h>

namespace statvtk::cli {

namespace {
std::atomic<bool> gHandled{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      if (gHandled.exchange(true)) return FALSE;  // the second time: the default action
      StopSignal::RequestStop();
      return TRUE;
    default: return FALSE;
  }
}
}  // namespace

StopSignal::StopSignal() {
  StopFlag() = false;
  gHandled = false;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignal::~StopSignal() { SetConsoleCtrlHandler(OnConsoleEvent, FALSE); }

}  // namespace statvtk::cli
