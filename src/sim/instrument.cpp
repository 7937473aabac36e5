#include "sim/instrument.hpp"

#include <cstdio>

namespace statvtk::sim {

using frame::Form;
using frame::Op;

namespace {
std::uint32_t LongAddressOf(std::span<const std::uint8_t> f) {
  return static_cast<std::uint32_t>(f[1]) | static_cast<std::uint32_t>(f[2]) << 8 |
         static_cast<std::uint32_t>(f[3]) << 16 | static_cast<std::uint32_t>(f[4]) << 24;
}
}  // namespace

std::optional<Form> FormOf(std::span<const std::uint8_t> f, std::uint32_t longAddress) {
  if (f.size() < frame::kShortOverhead) return std::nullopt;
  const bool shortOk = f[2] == static_cast<std::uint8_t>(~f[1]) &&
                       f.size() == f[5] + frame::kShortOverhead;  // requests: length 0 is no data
  const bool longOk = f.size() >= frame::kLongOverhead && f.size() == f[7] + frame::kLongOverhead;
  if (shortOk && longOk) return LongAddressOf(f) == longAddress ? Form::Long : Form::Short;
  if (shortOk) return Form::Short;
  if (longOk) return Form::Long;
  return std::nullopt;
}

namespace {
// The generated history with the serial number the options give.
History HistoryOf(const InstrumentOptions& o) {
  History h = GenerateHistory(o.model, o.seed, o.now, o.shapes);
  if (o.serial) h.config.serial = o.serial->substr(0, 8);
  return h;
}
}  // namespace

Instrument::Instrument(const InstrumentOptions& o)
    : opt_(o),
      history_(HistoryOf(o)),
      mem_(BuildMemories(history_)),
      ident_(o.ident ? *o.ident : sim::IdentificationText(o.model, history_.config.serial)),
      rng_(Hash(o.seed, 0xFA017, 0)) {}

void Instrument::SetLog(std::function<void(std::string_view)> sink) {
  std::lock_guard lock(mu_);
  log_ = std::move(sink);
}

void Instrument::Log(std::string_view line) {
  std::function<void(std::string_view)> sink;
  {
    std::lock_guard lock(mu_);
    sink = log_;
  }
  if (sink) {
    sink(line);
    return;
  }
  std::fprintf(stderr, "statvtk-sim: %.*s\n", static_cast<int>(line.size()), line.data());
}

Result<std::vector<std::uint8_t>> Instrument::Read(const frame::DecodedRequest& r) const {
  if (r.op == Op::Identify || r.op == Op::IdentifyLong) return std::vector<std::uint8_t>(ident_.begin(), ident_.end());
  const auto kind = MemoryOf(opt_.model, r.op);
  if (!kind)
    return MakeError(ErrorCode::BadData, "operation not supported by " + std::string(DeviceTypeName(opt_.model)));
  const auto mem = mem_.Of(*kind);
  const std::size_t count = r.count == 0 ? frame::kMaxData : r.count;
  if (std::size_t{r.offset} + count > mem.size()) {
    return MakeError(ErrorCode::BadData, "read of " + std::to_string(count) + " bytes at " + std::to_string(r.offset) +
                                             " outside the memory of " + std::to_string(mem.size()) + " bytes");
  }
  return std::vector<std::uint8_t>(mem.begin() + r.offset, mem.begin() + static_cast<std::ptrdiff_t>(r.offset + count));
}

std::vector<std::uint8_t> Instrument::ExpectedDumpBytes() const {
  std::shared_lock lock(memMu_);
  return DumpBytes(ExpectedDump());
}

void Instrument::Advance(std::uint32_t hours) {
  std::unique_lock lock(memMu_);
  AdvanceHistory(history_, hours);
  mem_ = BuildMemories(history_);
}

Result<std::vector<std::uint8_t>> Instrument::Respond(std::span<const std::uint8_t> f) const {
  std::shared_lock lock(memMu_);
  auto refuse = [](std::string text) { return MakeError(ErrorCode::BadData, std::move(text)); };
  const Error notOurs = MakeError(ErrorCode::BadAddress, {});
  if (f.size() < frame::kShortOverhead || f[0] != frame::kRequestStart) return refuse("not a request frame");
  if (frame::Checksum(f.first(f.size() - 1)) != f.back()) return refuse("bad checksum");
  // Short form when the complement holds and the length fits; long form otherwise.
  const auto detected = FormOf(f, opt_.longAddress);
  if (!detected) return refuse(f[2] != static_cast<std::uint8_t>(~f[1]) ? "bad address complement" : "bad length");
  const Form form = *detected;
  const std::size_t hs = frame::HeaderSize(form);
  if (form == Form::Short && f[1] != opt_.address) return notOurs;
  if (form == Form::Long && LongAddressOf(f) != opt_.longAddress) return notOurs;
  const std::uint8_t group = f[hs - 3], command = f[hs - 2];
  const auto req = frame::DecodeRequest(form, group, command, f.subspan(hs, f.size() - hs - 1));
  if (!req)
    return refuse("unknown operation (group " + std::to_string(group) + ", command " + std::to_string(command) + ")");
  auto data = Read(*req);
  if (!data) return data.error();
  return form == Form::Short ? frame::BuildShort(frame::kReplyStart, opt_.address, group, command, *data)
                             : frame::BuildLong(frame::kReplyStart, opt_.longAddress, group, command, *data);
}

void Instrument::Inject(std::vector<std::uint8_t>& reply, Form form) {
  const FaultRates& p = opt_.faults;
  if (rng_.Chance(p.wrongCommand)) {
    ++counts_.wrongCommand;
    const std::size_t at = frame::HeaderSize(form) - 2;
    reply[at] = static_cast<std::uint8_t>(reply[at] + 1 + rng_.Between(0, 3));
    reply.back() = frame::Checksum({reply.data(), reply.size() - 1});
  }
  if (rng_.Chance(p.corrupt)) {
    ++counts_.corrupted;
    reply.back() = static_cast<std::uint8_t>(reply.back() ^ (1u << rng_.Between(0, 7)));
  }
  if (rng_.Chance(p.truncate)) {
    ++counts_.truncated;
    reply.resize(rng_.Between(1, static_cast<std::uint32_t>(reply.size() - 1)));
  }
  if (rng_.Chance(p.noise)) {
    ++counts_.noise;
    std::vector<std::uint8_t> junk(rng_.Between(1, 8));
    for (auto& b : junk) {
      b = static_cast<std::uint8_t>(rng_.Next());
      if (b == frame::kReplyStart) b = 0x5A;
    }
    reply.insert(reply.begin(), junk.begin(), junk.end());
  }
}

std::optional<std::vector<std::uint8_t>> Instrument::Handle(std::span<const std::uint8_t> request) {
  Result<std::vector<std::uint8_t>> answer = Respond(request);
  std::optional<std::vector<std::uint8_t>> reply;
  if (answer) reply = std::move(*answer);
  std::vector<std::string> lines;
  {
    std::lock_guard lock(mu_);
    ++counts_.requests;
    if (reply && opt_.silentAfter && counts_.replies >= *opt_.silentAfter) {
      if (counts_.silenced++ == 0) lines.push_back("silent after " + std::to_string(counts_.replies) + " replies");
      reply.reset();
    } else if (!reply) {
      const std::string& why = answer.error().reason;
      if (why.empty()) {
        ++counts_.ignored;
        if (opt_.verbose) lines.push_back("request for another address ignored");
      } else {
        ++counts_.rejected;
        lines.push_back("no reply: " + why);
      }
    } else if (rng_.Chance(opt_.faults.drop)) {
      ++counts_.dropped;
      if (opt_.verbose) lines.push_back("fault: reply dropped");
      reply.reset();
    } else {
      Inject(*reply, FormOf(request, opt_.longAddress).value_or(Form::Short));
      ++counts_.replies;
      if (opt_.verbose) lines.push_back("reply of " + std::to_string(reply->size()) + " bytes");
    }
  }
  for (const auto& l : lines) Log(l);
  return reply;
}

FaultCounts Instrument::Counts() const {
  std::lock_guard lock(mu_);
  return counts_;
}

std::string Instrument::CountsText() const {
  const FaultCounts c = Counts();
  return "requests " + std::to_string(c.requests) + ", replies " + std::to_string(c.replies) + ", ignored " +
         std::to_string(c.ignored) + ", refused " + std::to_string(c.rejected) + "; faults: dropped " +
         std::to_string(c.dropped) + ", corrupted " + std::to_string(c.corrupted) + ", wrong command " +
         std::to_string(c.wrongCommand) + ", noise " + std::to_string(c.noise) + ", truncated " +
         std::to_string(c.truncated) + (c.silenced ? ", unanswered when silent " + std::to_string(c.silenced) : "");
}

}  // namespace statvtk::sim
