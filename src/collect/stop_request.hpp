// The process-wide stop request of the collector: SIGTERM and SIGINT set it,
// and it is the stop of every line's read: each wait of the link and the
// modem looks at it.
#pragma once

#include <atomic>

namespace statvtk::collect {

// Installs the handlers (once) and returns the flag they set.
std::atomic<bool>& StopRequest();

}  // namespace statvtk::collect
