// The input buffer every channel reads through: up to 256 bytes taken from
// the carrier in one system call, handed out a byte at a time. The channel
// supplies only its own read call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace statvtk {

class ReadBuffer {
 public:
  // The next byte already read, if any.
  std::optional<std::uint8_t> Next() {
    if (pos_ < len_) return bytes_[pos_++];
    return std::nullopt;
  }

  // Empties the buffer and fills it with `read(into)`, the carrier's read of
  // what is waiting (at most into.size() bytes; 0 when nothing came). Returns the count.
  template <class Read>
  std::size_t Refill(Read read) {
    pos_ = len_ = 0;
    len_ = read(std::span<std::uint8_t>(bytes_));
    return len_;
  }

  // Hands the unread bytes to `dropped` (when given), then whatever `refill`
  // still brings in, until it brings nothing.
  template <class Refill>
  void Drain(std::vector<std::uint8_t>* dropped, Refill refill) {
    for (;;) {
      if (dropped) dropped->insert(dropped->end(), bytes_.begin() + Offset(pos_), bytes_.begin() + Offset(len_));
      pos_ = len_ = 0;
      if (refill() == 0) break;
    }
  }

 private:
  static std::ptrdiff_t Offset(std::size_t n) { return static_cast<std::ptrdiff_t>(n); }

  std::array<std::uint8_t, 256> bytes_{};
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
};

}  // namespace statvtk
