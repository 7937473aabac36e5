// The process-wide requests of the collector's signals: SIGTERM and SIGINT
// set the stop request, the stop of every line's read (each wait of the link
// and the modem looks at it); SIGHUP sets the reload request (collect.ini
// read again by `run`).
#pragma once

#include <atomic>

namespace statvtk::collect {

// Installs the handlers (once) and returns the flag they set.
std::atomic<bool>& StopRequest();
std::atomic<bool>& ReloadRequest();

}  // namespace statvtk::collect
