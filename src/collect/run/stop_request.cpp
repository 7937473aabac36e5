#include "collect/run/stop_request.hpp"

#include <signal.h>

#include <initializer_list>

namespace statvtk::collect {

namespace {

// The only mutable globals: set from the signal handlers.
std::atomic<bool> gStop{false};
std::atomic<bool> gReload{false};

extern "C" void OnStopSignal(int) { gStop.store(true); }
extern "C" void OnReloadSignal(int) { gReload.store(true); }

void Install(void (*handler)(int), std::initializer_list<int> signals) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  for (const int s : signals) sigaction(s, &sa, nullptr);
}

}  // namespace

std::atomic<bool>& StopRequest() {
  static const bool installed = (Install(OnStopSignal, {SIGTERM, SIGINT}), true);
  (void)installed;
  return gStop;
}

// Only `run` asks for it: elsewhere a hang-up still ends the program.
std::atomic<bool>& ReloadRequest() {
  static const bool installed = (Install(OnReloadSignal, {SIGHUP}), true);
  (void)installed;
  return gReload;
}

}  // namespace statvtk::collect
