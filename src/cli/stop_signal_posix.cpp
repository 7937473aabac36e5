// Ctrl+C on POSIX: SIGINT, SIGTERM and SIGHUP handlers.
#include "cli/stop_signal.hpp"

#include <csignal>

namespace statvtk::cli {

namespace {
struct sigaction gOldInt, gOldTerm, gOldHup;

extern "C" void OnStopSignal(int sig) {
  StopSignal::RequestStop();
  std::signal(sig, SIG_DFL);
}
}  // namespace

StopSignal::StopSignal() {
  StopFlag() = false;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &gOldInt);
  sigaction(SIGTERM, &sa, &gOldTerm);
  sigaction(SIGHUP, &sa, &gOldHup);
}

StopSignal::~StopSignal() {
  sigaction(SIGINT, &gOldInt, nullptr);
  sigaction(SIGTERM, &gOldTerm, nullptr);
  sigaction(SIGHUP, &gOldHup, nullptr);
}

}  // namespace statvtk::cli
