// The instruments' wire format, in one place: request frames (0x55) and
// replies (0xAA) in the short (one address byte) and long (32-bit address)
// forms, the checksum, the request operations' data layouts, and an
// incremental frame parser used by the link's receiver and by the simulator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace statvtk::frame {

inline constexpr std::uint8_t kRequestStart = 0x55;
inline constexpr std::uint8_t kReplyStart = 0xAA;
inline constexpr std::size_t kShortOverhead = 7;  // start, addr, ~addr, group, command, length, checksum
inline constexpr std::size_t kLongOverhead = 9;   // start, 4 address bytes, group, command, length, checksum
inline constexpr std::size_t kMaxData = 256;      // a length byte of 0 means 256
inline constexpr std::size_t kMaxShortFrame = kMaxData + kShortOverhead;  // 263
inline constexpr std::size_t kMaxLongFrame = kMaxData + kLongOverhead;    // 265

// The short form carries one address byte: an address above it is reachable
// only in M-Bus mode (the long form), never cut to a byte.
inline constexpr std::int64_t kMaxShortAddress = 255;
constexpr bool AddressNeedsMBus(std::int64_t address) { return address > kMaxShortAddress; }

enum class Form { Short, Long };

constexpr std::size_t Overhead(Form f) { return f == Form::Short ? kShortOverhead : kLongOverhead; }
constexpr std::size_t HeaderSize(Form f) { return f == Form::Short ? 6 : 8; }  // bytes before the data
constexpr std::size_t LengthOffset(Form f) { return f == Form::Short ? 5 : 7; }

// Complemented 8-bit sum of the bytes.
std::uint8_t Checksum(std::span<const std::uint8_t> bytes);

// Whole frames. `data` holds at most 256 bytes (256 is sent as length byte 0).
std::vector<std::uint8_t> BuildShort(std::uint8_t start, std::uint8_t address, std::uint8_t group, std::uint8_t command,
                                     std::span<const std::uint8_t> data);
std::vector<std::uint8_t> BuildLong(std::uint8_t start, std::uint32_t address, std::uint8_t group, std::uint8_t command,
                                    std::span<const std::uint8_t> data);

// The request operations of the instruments.
enum class Op {
  Identify,           // short, group 0, command 0, no data
  ReadBlock8,         // short, 15/2: offset (8 bits), count
  ReadBlock16,        // short, 15/1: offset high, offset low, count
  ReadParams16,       // short, 12/1: offset high, offset low, count
  ReadArchive32,      // short, 15/3: offset as 32 bits MSB first, count
  ReadArchive16,      // short, 15/3: offset high, offset low, count
  IdentifyLong,       // long, 0/0, no data
  ReadBlock16Long,    // long, 15/1: offset high, offset low, count
  ReadParams16Long,   // long, 12/1: offset high, offset low, count
  ReadArchive32Long,  // long, 15/3: count first, then offset as 32 bits MSB first
};

constexpr Form FormOf(Op op) {
  return (op == Op::IdentifyLong || op == Op::ReadBlock16Long || op == Op::ReadParams16Long ||
          op == Op::ReadArchive32Long)
             ? Form::Long
             : Form::Short;
}

struct RequestBody {
  std::uint8_t group = 0;
  std::uint8_t command = 0;
  std::vector<std::uint8_t> data;
};

// Group, command and data bytes of an operation (offset and count ignored for Identify*).
RequestBody EncodeRequest(Op op, std::uint32_t offset = 0, std::uint8_t count = 0);

struct DecodedRequest {
  Op op;
  std::uint32_t offset = 0;
  std::uint8_t count = 0;
};

// Which operation a request body is; nullopt for an unknown group, command or length.
std::optional<DecodedRequest> DecodeRequest(Form form, std::uint8_t group, std::uint8_t command,
                                            std::span<const std::uint8_t> data);

// Incremental parser of one frame, byte by byte. While nothing is stored, bytes
// other than the start byte are dropped (synchronisation). It tells how many
// bytes it still needs, and stops at the first fault.
class FrameParser {
 public:
  enum class Status { NeedMore, Complete, BadAddress, BadSize, BadChecksum };

  FrameParser(Form form, std::uint8_t start) : form_(form), start_(start), expected_(Overhead(form)) {}

  Status Push(std::uint8_t byte);
  void Reset();

  Status status() const { return status_; }
  // Bytes still needed to complete the frame as far as it is known (0 when done).
  std::size_t Needed() const { return status_ == Status::NeedMore ? expected_ - size_ : 0; }
  std::size_t Size() const { return size_; }
  std::span<const std::uint8_t> Bytes() const { return {buf_.data(), size_}; }
  std::size_t DroppedBeforeStart() const { return dropped_; }

  // Valid once complete (or past the header for the first ones).
  std::uint8_t ShortAddress() const { return buf_[1]; }
  std::uint32_t LongAddress() const;
  std::uint8_t Group() const { return buf_[HeaderSize(form_) - 3]; }
  std::uint8_t Command() const { return buf_[HeaderSize(form_) - 2]; }
  std::size_t DataLength() const;  // 1..256
  std::span<const std::uint8_t> Data() const { return {buf_.data() + HeaderSize(form_), DataLength()}; }

 private:
  Form form_;
  std::uint8_t start_;
  Status status_ = Status::NeedMore;
  std::array<std::uint8_t, kMaxLongFrame> buf_{};
  std::size_t size_ = 0;
  std::size_t expected_;  // the overhead until the length byte is known, then the whole frame
  std::size_t dropped_ = 0;
};

}  // namespace statvtk::frame
