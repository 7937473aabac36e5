// Helpers of the link tests: scripted instruments answering in either frame
// form, and a Tmod07 wired to a memory channel.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "link/frame.hpp"
#include "link/tmod07.hpp"
#include "support/memory_channel.hpp"

namespace statvtk::link_test {

using test_support::MemoryChannel;
using test_support::ScriptedReply;
using Bytes = std::vector<std::uint8_t>;

// The checksum written out once more, independently of the code under test.
inline std::uint8_t SumComplement(const Bytes& b) {
  return static_cast<std::uint8_t>(~std::accumulate(b.begin(), b.end(), 0u));
}
inline Bytes WithChecksum(Bytes b) {
  b.push_back(SumComplement(b));
  return b;
}

inline Bytes Pattern(std::size_t n, std::uint8_t seed = 1) {
  Bytes d(n);
  for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(seed + 3 * i);
  return d;
}

// The reply a correct instrument gives to a short or long request, with `data`.
inline Bytes ShortReplyTo(std::span<const std::uint8_t> req, const Bytes& data) {
  return frame::BuildShort(frame::kReplyStart, req[1], req[3], req[4], data);
}
inline Bytes LongReplyTo(std::span<const std::uint8_t> req, const Bytes& data) {
  const std::uint32_t a = req[1] | req[2] << 8 | req[3] << 16 | static_cast<std::uint32_t>(req[4]) << 24;
  return frame::BuildLong(frame::kReplyStart, a, req[5], req[6], data);
}

// An instrument that answers every request correctly with `data` after `delay`.
inline MemoryChannel::Instrument Answering(frame::Form form, Bytes data,
                                           std::chrono::microseconds delay = std::chrono::microseconds(0)) {
  return [form, data = std::move(data), delay](std::span<const std::uint8_t> req) {
    return ScriptedReply{form == frame::Form::Short ? ShortReplyTo(req, data) : LongReplyTo(req, data), delay};
  };
}

// A Tmod07 on a memory channel; `channel` stays valid while the link holds it.
struct Wired {
  Tmod07 link;
  MemoryChannel* channel = nullptr;

  explicit Wired(MemoryChannel::Instrument instrument = {}, MemoryChannel::Options options = MemoryChannel::Options{},
                 LineTarget target = SerialLine{})
      : link(std::move(target)) {
    auto ch = std::make_unique<MemoryChannel>(std::move(instrument), options);
    channel = ch.get();
    link.AttachChannel(std::move(ch));
  }
  void Timing(std::uint32_t byteMs, std::uint32_t replyMs, std::uint32_t retries) {
    link.SetTiming({byteMs, replyMs, retries});
  }
};

inline double MsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Up to `n` bytes of `ch` as text, each awaited up to 2 s.
inline std::string ReadText(ByteChannel& ch, std::size_t n) {
  std::string s;
  for (std::optional<std::uint8_t> b; s.size() < n && (b = ch.ReadByte(std::chrono::seconds(2)));)
    s.push_back(static_cast<char>(*b));
  return s;
}

}  // namespace statvtk::link_test
