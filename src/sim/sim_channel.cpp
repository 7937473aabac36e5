#include "sim/sim_channel.hpp"

#include <algorithm>
#include <thread>

namespace statvtk::sim {

SimChannel::SimChannel(Instrument& instrument, SimChannelOptions o)
    : inst_(instrument), opt_(o), assembler_(instrument.Options().address, instrument.Options().longAddress) {}

SimChannel::Clock::duration SimChannel::ByteTime() const {
  if (opt_.baud == 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000ll / opt_.baud));
}

std::size_t SimChannel::Write(std::span<const std::uint8_t> bytes) {
  if (!open_) return 0;
  const auto now = Clock::now();
  const auto requestEnd = now + ByteTime() * static_cast<long>(bytes.size());
  std::vector<AssembledFrame> frames;
  std::vector<std::string> errors;
  if (now - lastWrite_ > kRequestGap) assembler_.Expire(errors);  // leftovers of an earlier request
  lastWrite_ = now;
  for (auto b : bytes) assembler_.Push(b, frames, errors);
  for (const auto& e : errors) inst_.Log(e);
  for (const auto& f : frames) {
    ++frames_;
    auto reply = inst_.Handle(f.bytes);
    if (!reply) continue;
    auto t = std::max(requestEnd + std::chrono::milliseconds(inst_.Options().latencyMs), lineFree_);
    for (auto b : *reply) {
      t += ByteTime();
      input_.push_back({t, b});
    }
    lineFree_ = t;
  }
  return bytes.size();
}

void SimChannel::Purge(std::vector<std::uint8_t>* dropped) {
  DropInput(dropped);
  input_.clear();
  assembler_.Reset();
}

void SimChannel::DropInput(std::vector<std::uint8_t>* dropped) {
  const auto now = Clock::now();
  while (!input_.empty() && input_.front().at <= now) {
    if (dropped) dropped->push_back(input_.front().byte);
    input_.pop_front();
  }
}

std::optional<std::uint8_t> SimChannel::ReadByte(std::chrono::milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  if (!open_) return std::nullopt;
  if (input_.empty() || input_.front().at > deadline) {
    std::this_thread::sleep_until(deadline);
    return std::nullopt;
  }
  if (input_.front().at > Clock::now()) std::this_thread::sleep_until(input_.front().at);
  const std::uint8_t b = input_.front().byte;
  input_.pop_front();
  return b;
}

}  // namespace statvtk::sim
