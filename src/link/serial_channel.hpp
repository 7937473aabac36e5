// Serial port channel: raw 8N1 (8E1 in M-Bus mode), opened exclusively,
// purged in both directions, read time-outs as waits for the first byte.
// Two sides: termios (serial_channel_posix.cpp) and Win32 (serial_channel_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "link/byte_channel.hpp"

namespace statvtk {

// A channel just opened, with a note worth logging once (e.g. adapter latency).
struct OpenedChannel {
  std::unique_ptr<ByteChannel> channel;
  std::string hint;
};
// The opened channel, or the failure: a link code (PortInit, InvalidSocket,
// Connect, ...) and words a service engineer can act on.
using ChannelOpenResult = Result<OpenedChannel>;

ChannelOpenResult OpenSerialChannel(const std::string& path, std::uint32_t baudRate, bool evenParity);

// The system's name of serial port number n (ComPort): /dev/ttyS(n-1) on
// Linux, COMn on Windows; 0 counts as 1.
std::string SerialPortPathOf(int number);

// The line a serial channel asked its driver for. A pseudo-terminal keeps the
// speed but always reports 8 bits without parity, so tests read the request here.
struct SerialLineSettings {
  std::uint32_t baudRate = 0;
  int dataBits = 8;
  int stopBits = 1;
  bool evenParity = false;
};
// The settings of a channel made by OpenSerialChannel; nullopt for any other channel.
std::optional<SerialLineSettings> SerialLineOf(const ByteChannel& channel);

struct SerialPortInfo {
  std::string path;         // /dev/ttyUSB0, COM3
  std::string byIdName;     // /dev/serial/by-id/... or empty (always on Windows)
  std::string description;  // adapter's description where the system gives one
};

// The serial ports present on this machine.
std::vector<SerialPortInfo> ListSerialPorts();
#ifndef _WIN32
// The same over another sysfs and /dev tree (tests use a made-up one):
// ports are the entries of sysRoot/class/tty with a device link, whose node
// devRoot/NAME exists; by-id names come from devRoot/serial/by-id.
std::vector<SerialPortInfo> ListSerialPortsUnder(const std::string& sysRoot, const std::string& devRoot);
#endif

}  // namespace statvtk
