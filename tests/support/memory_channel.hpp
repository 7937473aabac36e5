// In-memory ByteChannel for tests and benchmarks: its far end is a scripted
// instrument, a callback that receives each written frame and answers with
// reply bytes after a delay. Raw bytes can be injected at any time, from any
// thread. Header-only.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "link/byte_channel.hpp"

namespace statvtk::test_support {

// What the instrument sends back for one request: the bytes, when the first
// arrives after the request, and the gap between the following ones.
struct ScriptedReply {
  std::vector<std::uint8_t> bytes;
  std::chrono::microseconds delay{0};
  std::chrono::microseconds gap{0};
};

class MemoryChannel : public ByteChannel {
 public:
  using Clock = std::chrono::steady_clock;
  // Receives each frame written; returns the reply (empty bytes: silence).
  using Instrument = std::function<ScriptedReply(std::span<const std::uint8_t> frame)>;

  struct Options {
    // false: delays are ignored, every byte is there at once, and a read of
    // an empty input returns nothing at once (fast runs, e.g. fuzzing).
    bool realTime = true;
    std::uint32_t carrierWaitMs = 0;
    // At most this many bytes of each write are accepted (a short write).
    std::size_t writeLimit = std::numeric_limits<std::size_t>::max();
    // Behaves as a socket where carriers differ (see ByteChannel).
    bool socket = false;
  };

  explicit MemoryChannel(Instrument instrument = {}) : MemoryChannel(std::move(instrument), Options{}) {}
  MemoryChannel(Instrument instrument, Options options) : instrument_(std::move(instrument)), options_(options) {}

  std::size_t Write(std::span<const std::uint8_t> bytes) override {
    const std::size_t n = std::min(bytes.size(), options_.writeLimit);
    std::vector<std::uint8_t> frame(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    {
      std::lock_guard lock(mutex_);
      written_.push_back(frame);
      writeTimes_.push_back(Clock::now());
    }
    if (instrument_ && n == bytes.size()) {
      ScriptedReply reply = instrument_(frame);  // called unlocked: it may Inject()
      Schedule(reply.bytes, reply.delay, reply.gap);
    }
    return n;
  }

  void Purge(std::vector<std::uint8_t>* dropped = nullptr) override { DropArrived(dropped, purges_); }

  void DropInput(std::vector<std::uint8_t>* dropped = nullptr) override { DropArrived(dropped, dropInputs_); }

  std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds wait) override {
    std::unique_lock lock(mutex_);
    ++reads_;
    const auto deadline = Clock::now() + wait;
    for (;;) {
      const auto now = Clock::now();
      if (!input_.empty() && (!options_.realTime || input_.front().due <= now)) {
        const std::uint8_t b = input_.front().byte;
        input_.pop_front();
        return b;
      }
      if (!options_.realTime || now >= deadline) return std::nullopt;
      auto until = deadline;
      if (!input_.empty() && input_.front().due < until) until = input_.front().due;
      arrived_.wait_until(lock, until);
    }
  }

  std::uint32_t CarrierWaitMs() const override { return options_.carrierWaitMs; }
  bool IsOpen() const override { return open_; }
  void ClearBeforeSend(std::vector<std::uint8_t>* dropped) override {
    if (options_.socket) DropInput(dropped);
    else Purge(dropped);
  }
  bool CountsShortWrites() const override { return !options_.socket; }
  ErrorCode GoneCode() const override { return options_.socket ? ErrorCode::InvalidSocket : ErrorCode::SendFailed; }
  bool CarriesTextLines() const override { return !options_.socket; }

  // --- the test's side ---

  // Bytes that arrive `delay` from now, `gap` apart (thread-safe).
  void Inject(std::span<const std::uint8_t> bytes, std::chrono::microseconds delay = {},
              std::chrono::microseconds gap = {}) {
    Schedule(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), delay, gap);
  }
  void SetInstrument(Instrument instrument) { instrument_ = std::move(instrument); }
  void SetOpen(bool open) { open_ = open; }
  void SetWriteLimit(std::size_t limit) { options_.writeLimit = limit; }
  void SetSocket(bool socket) { options_.socket = socket; }

  std::vector<std::vector<std::uint8_t>> Written() const {
    std::lock_guard lock(mutex_);
    return written_;
  }
  std::vector<Clock::time_point> WriteTimes() const {
    std::lock_guard lock(mutex_);
    return writeTimes_;
  }
  std::size_t Pending() const {
    std::lock_guard lock(mutex_);
    return input_.size();
  }
  std::size_t Purges() const { return Locked(purges_); }
  std::size_t DropInputs() const { return Locked(dropInputs_); }
  std::size_t Reads() const { return Locked(reads_); }

 private:
  std::size_t Locked(const std::size_t& v) const {
    std::lock_guard lock(mutex_);
    return v;
  }

  struct Timed {
    std::uint8_t byte;
    Clock::time_point due;
  };

  void Schedule(const std::vector<std::uint8_t>& bytes, std::chrono::microseconds delay,
                std::chrono::microseconds gap) {
    if (bytes.empty()) return;
    {
      std::lock_guard lock(mutex_);
      auto due = Clock::now() + delay;
      for (std::uint8_t b : bytes) {
        // Bytes arrive in order: never before the one queued ahead of them.
        if (!input_.empty() && input_.back().due > due) due = input_.back().due;
        input_.push_back({b, due});
        due += gap;
      }
    }
    arrived_.notify_all();
  }

  void DropArrived(std::vector<std::uint8_t>* dropped, std::size_t& counter) {
    std::lock_guard lock(mutex_);
    ++counter;
    const auto now = Clock::now();
    while (!input_.empty() && (!options_.realTime || input_.front().due <= now)) {
      if (dropped) dropped->push_back(input_.front().byte);
      input_.pop_front();
    }
  }

  Instrument instrument_;
  Options options_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Timed> input_;
  std::vector<std::vector<std::uint8_t>> written_;
  std::vector<Clock::time_point> writeTimes_;
  std::atomic<bool> open_{true};
  std::size_t purges_ = 0, dropInputs_ = 0, reads_ = 0;
};

}  // namespace statvtk::test_support
