// The process-wide stop request of the collector: SIGTERM and SIGINT set it;
// each line's own stop flag follows it.
#pragma once

#include <atomic>

namespace statvtk::collect {

// Installs the handlers (once) and returns the flag they set.
std::atomic<bool>& StopRequest();

}  // namespace statvtk::collect
