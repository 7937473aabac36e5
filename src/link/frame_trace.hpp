// The frame trace: one entry per frame sent or run of bytes received, and the
// one line both front ends show for it (the exchange monitor, --trace).
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace statvtk {

// One entry of the frame trace: a frame sent, or a run of bytes received.
struct FrameTrace {
  enum class Direction { Sent, Received, Late };
  std::chrono::system_clock::time_point when;
  Direction direction;
  std::span<const std::uint8_t> bytes;
  std::uint32_t result = 0;  // link error code of that reception (0: a good frame)
};

// "hh:mm:ss.zzz" of the local time, a direction mark and the bytes in hex:
//   "12:34:56.789  -> 55 01 FE"            a frame sent
//   "12:34:56.789  <- AA 01 ..."           a good reception
//   "12:34:56.789  <! AA 01  [cause]"      a failed one, with LinkCauseText of its code
//   "12:34:56.789  <~ AA  [опоздавшие байты]"  bytes dropped before a send
std::string FrameTraceLine(const FrameTrace& f);

}  // namespace statvtk
