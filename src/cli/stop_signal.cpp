#include "cli/stop_signal.hpp"

#include <csignal>

namespace statvtk::cli {

namespace {
// A signal handler can reach nothing but objects of static storage; these two
// flags are the only ones the program keeps, and they are lock-free atomics.
std::atomic<bool> gStop{false};
std::atomic<bool> gAbort{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct sigaction gOldInt, gOldTerm;

extern "C" void OnStopSignal(int sig) {
  gStop.store(true);
  gAbort.store(true);
  std::signal(sig, SIG_DFL);
}
}  // namespace

StopSignal::StopSignal() {
  gStop = false;
  gAbort = false;
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

std::atomic<bool>& StopSignal::StopFlag() { return gStop; }
std::atomic<bool>& StopSignal::AbortFlag() { return gAbort; }

}  // namespace statvtk::cli
