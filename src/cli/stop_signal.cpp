// The two flags of the stop request, shared by the POSIX and Win32 handlers.
#include "cli/stop_signal.hpp"

namespace statvtk::cli {

namespace {
// A signal or console handler can reach nothing but objects of static
// storage; these two flags are the only ones the program keeps, and they are
// lock-free atomics.
std::atomic<bool> gStop{false};
std::atomic<bool> gAbort{false};
static_assert(std::atomic<bool>::is_always_lock_free);
}  // namespace

std::atomic<bool>& StopSignal::StopFlag() { return gStop; }
std::atomic<bool>& StopSignal::AbortFlag() { return gAbort; }

void StopSignal::RequestStop() {
  gStop.store(true);
  gAbort.store(true);
}

}  // namespace statvtk::cli
