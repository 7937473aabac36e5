#include "sim/request_assembler.hpp"

#include <optional>

namespace statvtk::sim {

using frame::Form;

namespace {
std::string Hex(const std::vector<std::uint8_t>& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < b.size() && i < 24; ++i) {
    if (i) s += ' ';
    s += d[b[i] >> 4], s += d[b[i] & 15];
  }
  if (b.size() > 24) s += " ...";
  return s;
}
}  // namespace

RequestAssembler::Verdict RequestAssembler::Short() const {
  if (buf_.size() >= 3 && buf_[2] != static_cast<std::uint8_t>(~buf_[1])) return Verdict::BadComplement;
  if (buf_.size() < 6) return Verdict::Pending;
  const std::size_t total = buf_[5] + frame::kShortOverhead;  // a request's length 0 is no data
  if (buf_.size() < total) return Verdict::Pending;
  if (frame::Checksum({buf_.data(), total - 1}) != buf_[total - 1]) return Verdict::BadChecksum;
  return Verdict::Good;
}

RequestAssembler::Verdict RequestAssembler::Long() const {
  if (buf_.size() < 8) return Verdict::Pending;
  const std::size_t total = buf_[7] + frame::kLongOverhead;
  if (buf_.size() < total) return Verdict::Pending;
  if (frame::Checksum({buf_.data(), total - 1}) != buf_[total - 1]) return Verdict::BadChecksum;
  return Verdict::Good;
}

bool RequestAssembler::LooksLong() const {
  if (buf_.size() < 5) return true;
  const std::uint32_t a = static_cast<std::uint32_t>(buf_[1]) | static_cast<std::uint32_t>(buf_[2]) << 8 |
                          static_cast<std::uint32_t>(buf_[3]) << 16 | static_cast<std::uint32_t>(buf_[4]) << 24;
  return a == longAddress_;
}

void RequestAssembler::ReportSkipped(std::vector<std::string>& errors) {
  if (skipped_) errors.push_back("ignored " + std::to_string(skipped_) + " byte(s) outside a request");
  skipped_ = 0;
}

void RequestAssembler::Push(std::uint8_t byte, std::vector<AssembledFrame>& frames, std::vector<std::string>& errors) {
  if (buf_.empty() && byte != frame::kRequestStart) {
    ++skipped_;
    return;
  }
  ReportSkipped(errors);
  buf_.push_back(byte);
  const Verdict s = Short();
  const Verdict l = Long();
  const bool shortOurs = buf_.size() >= 2 && buf_[1] == address_;
  const bool longOurs = buf_.size() >= 5 && LooksLong();
  // A frame that checks out is taken at once when it is addressed to us or the
  // other reading is ruled out; otherwise the other reading may still be ours
  // (a short request can look like a complete long frame to someone else).
  std::optional<Form> take;
  if (s == Verdict::Good && (shortOurs || IsBad(l) || !longOurs)) take = Form::Short;
  else if (l == Verdict::Good && (longOurs || IsBad(s))) take = Form::Long;
  else if (s == Verdict::Good && l != Verdict::Pending) take = Form::Short;
  else if (l == Verdict::Good && s != Verdict::Pending) take = Form::Long;
  if (take) {
    const std::size_t total = *take == Form::Short ? buf_[5] + frame::kShortOverhead : buf_[7] + frame::kLongOverhead;
    std::vector<std::uint8_t> rest(buf_.begin() + static_cast<std::ptrdiff_t>(total), buf_.end());
    buf_.resize(total);
    frames.push_back({*take, std::move(buf_)});
    buf_.clear();
    for (auto b : rest) Push(b, frames, errors);
    return;
  }
  // Malformed once neither form can still complete; a short frame with a bad
  // checksum is not kept waiting for the long form unless it carries our long address.
  const bool shortDead = IsBad(s);
  const bool longDead = IsBad(l) || (s == Verdict::BadChecksum && !LooksLong());
  if (shortDead && longDead) {
    const Verdict why = s == Verdict::BadChecksum ? s : (IsBad(l) ? l : s);
    errors.push_back(std::string("malformed request (") + WhyOf(why) + "): " + Hex(buf_));
    buf_.clear();
  }
}

void RequestAssembler::Expire(std::vector<std::string>& errors) {
  ReportSkipped(errors);
  if (!buf_.empty()) errors.push_back("incomplete request dropped after silence: " + Hex(buf_));
  buf_.clear();
}

}  // namespace statvtk::sim
