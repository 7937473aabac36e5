// The stop request, shared by the POSIX and Win32 handlers.
#include "cli/stop_signal.hpp"

namespace statvtk::cli {

namespace {
// A signal or console handler can reach nothing but objects of static
// storage; this flag is the only one the program keeps, and it is a
// lock-free atomic.
std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);
}  // namespace

std::atomic<bool>& StopSignal::StopFlag() { return gStop; }

void StopSignal::RequestStop() { gStop.store(true); }

}  // namespace statvtk::cli
