// The carrier under the frame protocol: a serial port, a TCP socket, or an
// in-memory pipe in tests. Every operating-system call of the link lives in
// an implementation of this interface.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/error.hpp"

namespace statvtk {

class ByteChannel {
 public:
  virtual ~ByteChannel() = default;

  // Writes the bytes; returns how many were written (fewer means a send error).
  virtual std::size_t Write(std::span<const std::uint8_t> bytes) = 0;

  // Clears both directions (pending output discarded, waiting input dropped).
  // Input bytes that could still be read before they were dropped are appended
  // to `dropped` when it is given, so a trace can show late replies.
  virtual void Purge(std::vector<std::uint8_t>* dropped = nullptr) = 0;

  // Drops the input already waiting (the TCP form of a purge before a send).
  virtual void DropInput(std::vector<std::uint8_t>* dropped = nullptr) = 0;

  // Returns the next input byte, waiting at most `wait` for it; returns the
  // moment a byte is there. Nothing within the wait gives std::nullopt.
  virtual std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds wait) = 0;

  // The carrier's own read wait per attempt that the protocol's time budget
  // counts (25 ms on a serial port, 0 on TCP).
  virtual std::uint32_t CarrierWaitMs() const = 0;

  // True while the carrier is usable (a closed socket or a vanished port is not).
  virtual bool IsOpen() const = 0;

  // --- where carriers differ; the defaults are a serial line's ---

  // Clears the line before a request goes out: a serial port is purged both
  // ways; a socket drops only the input waiting.
  virtual void ClearBeforeSend(std::vector<std::uint8_t>* dropped) { Purge(dropped); }
  // Whether a write that took only part of a frame still counts as a frame
  // sent: part of it went out on a serial line; a socket's short send does not count.
  virtual bool CountsShortWrites() const { return true; }
  // The link error of a send once the carrier has gone: a failed send on a
  // serial line, the socket error on a socket.
  virtual ErrorCode GoneCode() const { return ErrorCode::SendFailed; }
  // Whether modem text lines (Tmod07::SendLine, ReadLine) go over it.
  virtual bool CarriesTextLines() const { return true; }

  // The flag that ends a write waiting for room to send (looked at at least
  // every 100 ms); the link installs its abort flag. Null: none.
  void SetAbortFlag(const std::atomic<bool>* flag) { abort_ = flag; }

 protected:
  bool AbortRequested() const { return abort_ != nullptr && abort_->load(std::memory_order_relaxed); }

 private:
  const std::atomic<bool>* abort_ = nullptr;
};

}  // namespace statvtk
