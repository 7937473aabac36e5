// An in-process carrier: the frames written to it go to an Instrument and its
// replies come back after the instrument's latency (and, with a baud rate, the
// time the bytes need on the line). No thread, no descriptor.
#pragma once

#include <chrono>
#include <deque>

#include "link/byte_channel.hpp"
#include "sim/instrument.hpp"
#include "sim/request_assembler.hpp"

namespace statvtk::sim {

struct SimChannelOptions {
  std::uint32_t baud = 0;           // 0: bytes take no time on the line
  std::uint32_t carrierWaitMs = 0;  // what CarrierWaitMs reports
};

// Silence after which a partial request is dropped (the carriers use the same).
inline constexpr std::chrono::milliseconds kRequestGap{50};

class SimChannel : public ByteChannel {
 public:
  explicit SimChannel(Instrument& instrument, SimChannelOptions o = {});

  std::size_t Write(std::span<const std::uint8_t> bytes) override;
  void Purge(std::vector<std::uint8_t>* dropped = nullptr) override;
  void DropInput(std::vector<std::uint8_t>* dropped = nullptr) override;
  std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds wait) override;
  std::uint32_t CarrierWaitMs() const override { return opt_.carrierWaitMs; }
  bool IsOpen() const override { return open_; }

  void Close() { open_ = false; }
  std::size_t FramesWritten() const { return frames_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Clock::time_point at;
    std::uint8_t byte;
  };
  Clock::duration ByteTime() const;

  Instrument& inst_;
  SimChannelOptions opt_;
  RequestAssembler assembler_;
  std::deque<Pending> input_;
  Clock::time_point lineFree_{};
  Clock::time_point lastWrite_{};  // when the reply direction is idle again
  std::size_t frames_ = 0;
  bool open_ = true;
};

}  // namespace statvtk::sim
