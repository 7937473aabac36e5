#include "collect/stop_request.hpp"

#include <signal.h>

namespace statvtk::collect {

namespace {

std::atomic<bool> gStop{false};  // the one mutable global: set from the signal handler

extern "C" void OnStopSignal(int) { gStop.store(true); }

}  // namespace

std::atomic<bool>& StopRequest() {
  static const bool installed = [] {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    return true;
  }();
  (void)installed;
  return gStop;
}

}  // namespace statvtk::collect
