#include "link/frame.hpp"

namespace statvtk::frame {

std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
  unsigned sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  return static_cast<std::uint8_t>(~sum);
}

static void AppendBody(std::vector<std::uint8_t>& f, std::uint8_t group, std::uint8_t command,
                       std::span<const std::uint8_t> data) {
  const std::size_t n = data.size() > kMaxData ? kMaxData : data.size();
  f.push_back(group);
  f.push_back(command);
  f.push_back(static_cast<std::uint8_t>(n));  // 256 is sent as 0
  f.insert(f.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
  f.push_back(Checksum(f));
}

std::vector<std::uint8_t> BuildShort(std::uint8_t start, std::uint8_t address, std::uint8_t group, std::uint8_t command,
                                     std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> f;
  f.reserve(data.size() + kShortOverhead);
  f.push_back(start);
  f.push_back(address);
  f.push_back(static_cast<std::uint8_t>(~address));
  AppendBody(f, group, command, data);
  return f;
}

std::vector<std::uint8_t> BuildLong(std::uint8_t start, std::uint32_t address, std::uint8_t group, std::uint8_t command,
                                    std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> f;
  f.reserve(data.size() + kLongOverhead);
  f.push_back(start);
  for (int i = 0; i < 4; ++i) f.push_back(static_cast<std::uint8_t>(address >> (8 * i)));  // LSB first
  AppendBody(f, group, command, data);
  return f;
}

// The data of a read: the offset in `offsetBytes` bytes, most significant
// first, then the count (the count first when `countFirst`).
static std::vector<std::uint8_t> ReadData(std::uint32_t offset, int offsetBytes, std::uint8_t count,
                                          bool countFirst = false) {
  std::vector<std::uint8_t> d;
  if (countFirst) d.push_back(count);
  for (int i = offsetBytes - 1; i >= 0; --i) d.push_back(static_cast<std::uint8_t>(offset >> (8 * i)));
  if (!countFirst) d.push_back(count);
  return d;
}

RequestBody EncodeRequest(Op op, std::uint32_t offset, std::uint8_t count) {
  switch (op) {
    case Op::Identify:
    case Op::IdentifyLong: break;
    case Op::ReadBlock8: return {15, 2, ReadData(offset, 1, count)};
    case Op::ReadBlock16:
    case Op::ReadBlock16Long: return {15, 1, ReadData(offset, 2, count)};
    case Op::ReadParams16:
    case Op::ReadParams16Long: return {12, 1, ReadData(offset, 2, count)};
    case Op::ReadArchive32: return {15, 3, ReadData(offset, 4, count)};
    case Op::ReadArchive16: return {15, 3, ReadData(offset, 2, count)};
    case Op::ReadArchive32Long: return {15, 3, ReadData(offset, 4, count, true)};
  }
  return {};
}

std::optional<DecodedRequest> DecodeRequest(Form form, std::uint8_t group, std::uint8_t command,
                                            std::span<const std::uint8_t> d) {
  const bool isShort = form == Form::Short;
  auto off16 = [&](std::size_t at) { return static_cast<std::uint32_t>(d[at] << 8 | d[at + 1]); };
  auto off32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(d[at]) << 24 | static_cast<std::uint32_t>(d[at + 1]) << 16 |
           static_cast<std::uint32_t>(d[at + 2]) << 8 | d[at + 3];
  };
  if (group == 0 && command == 0 && d.empty()) return DecodedRequest{isShort ? Op::Identify : Op::IdentifyLong};
  if (group == 15 && command == 2 && d.size() == 2 && isShort) return DecodedRequest{Op::ReadBlock8, d[0], d[1]};
  if (group == 15 && command == 1 && d.size() == 3)
    return DecodedRequest{isShort ? Op::ReadBlock16 : Op::ReadBlock16Long, off16(0), d[2]};
  if (group == 12 && command == 1 && d.size() == 3)
    return DecodedRequest{isShort ? Op::ReadParams16 : Op::ReadParams16Long, off16(0), d[2]};
  if (group == 15 && command == 3) {
    if (isShort && d.size() == 5) return DecodedRequest{Op::ReadArchive32, off32(0), d[4]};
    if (isShort && d.size() == 3) return DecodedRequest{Op::ReadArchive16, off16(0), d[2]};
    if (!isShort && d.size() == 5) return DecodedRequest{Op::ReadArchive32Long, off32(1), d[0]};
  }
  return std::nullopt;
}

FrameParser::Status FrameParser::Push(std::uint8_t byte) {
  if (status_ != Status::NeedMore) return status_;
  if (size_ == 0 && byte != start_) {
    ++dropped_;
    return status_;
  }
  buf_[size_++] = byte;
  if (form_ == Form::Short && size_ == 3 && buf_[2] != static_cast<std::uint8_t>(~buf_[1]))
    return status_ = Status::BadAddress;
  if (size_ == LengthOffset(form_) + 1) {
    const std::size_t len = buf_[LengthOffset(form_)] == 0 ? kMaxData : buf_[LengthOffset(form_)];
    expected_ = len + Overhead(form_);
    if (expected_ > (form_ == Form::Short ? kMaxShortFrame : kMaxLongFrame)) return status_ = Status::BadSize;
  }
  if (size_ == expected_) {
    const std::uint8_t sum = Checksum(std::span<const std::uint8_t>(buf_.data(), size_ - 1));
    status_ = sum == buf_[size_ - 1] ? Status::Complete : Status::BadChecksum;
  }
  return status_;
}

void FrameParser::Reset() {
  status_ = Status::NeedMore;
  size_ = 0;
  expected_ = Overhead(form_);
  dropped_ = 0;
}

std::uint32_t FrameParser::LongAddress() const {
  return static_cast<std::uint32_t>(buf_[1]) | static_cast<std::uint32_t>(buf_[2]) << 8 |
         static_cast<std::uint32_t>(buf_[3]) << 16 | static_cast<std::uint32_t>(buf_[4]) << 24;
}

std::size_t FrameParser::DataLength() const {
  const std::uint8_t len = buf_[LengthOffset(form_)];
  return len == 0 ? kMaxData : len;
}

}  // namespace statvtk::frame
