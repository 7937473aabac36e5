// Telling systemd (Type=notify) that the service is ready, alive and stopping;
// nothing without libsystemd or outside systemd.
#pragma once

#include <chrono>

namespace statvtk::collect {

void NotifyReady();
// `last` keeps when systemd last heard: at most one message every 5 s.
void NotifyWatchdog(std::chrono::steady_clock::time_point& last);
void NotifyStopping();

}  // namespace statvtk::collect
