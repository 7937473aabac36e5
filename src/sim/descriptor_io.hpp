// Descriptor helpers of the simulator's carriers: the system's reason of a
// failed call, a stoppable sleep, writes that never raise SIGPIPE, and the
// speed a pseudo-terminal's client set.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/error.hpp"

namespace statvtk::sim {

using Clock = std::chrono::steady_clock;

// The failed call `what` with errno's text.
Error Errno(const std::string& what);
// Sleeps until `t` on the monotonic clock, in slices so a stop is seen within 20 ms.
void SleepUntil(Clock::time_point t, const std::atomic<bool>& stop);
// A write that never raises SIGPIPE when a TCP client has gone (the server
// runs inside other programs, tests among them); a pty takes a plain write.
ssize_t WriteSome(int fd, const std::uint8_t* p, std::size_t n);
// Writes all bytes to a non-blocking descriptor; gives up when the peer does
// not take them within a second.
bool WriteAll(int fd, const std::uint8_t* p, std::size_t n);
// The speed a pseudo-terminal's client set on its side (the master reports
// the slave's settings); 0 when it cannot be told.
std::uint32_t LineSpeed(int master);

}  // namespace statvtk::sim
