// Ctrl+C on POSIX: SIGINT and SIGTERM handlers.
#include "cli/stop_signal.hpp"

#include <csignal>

namespace statvtk::cli {

namespace {
struct sigaction gOldInt, gOldTerm;

extern "C" void OnStopSignal(int sig) {
  StopSignal::RequestStop();
  std::signal(sig, SIG_DFL);
}
}  // namespace

StopSignal::StopSignal() {
  StopFlag() = false;
  AbortFlag() = false;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &gOldInt);
  sigaction(SIGTERM, &sa, &gOldTerm);
}

StopSignal::~StopSignal() {
  sigaction(SIGINT, &gOldInt, nullptr);
  sigaction(SIGTERM, &gOldTerm, nullptr);
}

}  // namespace statvtk::cli
