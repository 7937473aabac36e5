#include "collect/run/service_notify.hpp"

#include <chrono>

#ifdef STATVTK_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace statvtk::collect {

#ifdef STATVTK_HAVE_SYSTEMD
void NotifyReady() { sd_notify(0, "READY=1"); }
void NotifyWatchdog(std::chrono::steady_clock::time_point& last) {
  const auto now = std::chrono::steady_clock::now();
  if (now - last < std::chrono::seconds(5)) return;
  last = now;
  sd_notify(0, "WATCHDOG=1");
}
void NotifyStopping() { sd_notify(0, "STOPPING=1"); }
#else
void NotifyReady() {}
void NotifyWatchdog(std::chrono::steady_clock::time_point&) {}
void NotifyStopping() {}
#endif

}  // namespace statvtk::collect
