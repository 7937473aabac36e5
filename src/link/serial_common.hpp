// What both sides of the serial channel (termios and Win32) share: the
// speeds a port is opened at, the read budget the port adds to each attempt,
// the bound on a stalled write, the words for a failed open, and the order
// of the port list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "link/serial_channel.hpp"

namespace statvtk::serial {

// 5 ms x 1 byte + 20 ms: the port's own read time-out per attempt, which
// the protocol's time budget counts (Tmod07 via CarrierWaitMs).
inline constexpr std::uint32_t kCarrierWaitMs = 25;
// Longest wait for room in the output queue.
inline constexpr int kWriteStallMs = 2000;
// The abort flag is looked at this often while a write waits for room.
inline constexpr int kStallSliceMs = 100;

// The speeds the instruments talk at, in bit/s.
bool IsSupportedBaud(std::uint32_t baud);

enum class OpenFault {
  NoSuchPort,    // no such device / COM port
  Busy,          // another program holds it
  NoAccess,      // the account may not open it
  NotSerial,     // the name is no serial port
  LineRejected,  // the driver refused the line settings
  Other,
};

// The reason a service engineer reads; `detail` is the system's own words
// (or, for NoAccess, what to do about it) and may be empty.
std::string OpenFaultText(OpenFault fault, const std::string& port, const std::string& detail = {});

// A failed open (code 100, "Ошибка инициализации порта") with its reason.
Error OpenFailure(std::string reason);
Error OpenFailure(OpenFault fault, const std::string& port, const std::string& detail = {});
// The open refused before any system call: a speed the instruments lack or no port name.
std::optional<Error> CheckOpenRequest(const std::string& port, std::uint32_t baud);

// The key the port list is sorted by: the name's prefix, then its trailing
// number (ttyS2 before ttyS10, COM2 before COM10), then the whole name.
std::tuple<std::string, long, std::string> PortSortKey(const std::string& name);

}  // namespace statvtk::serial
