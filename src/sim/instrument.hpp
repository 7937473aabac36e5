// One simulated instrument: its history, memories and identification, and
// the request handling: a request frame in, the reply frame (or nothing) out,
// with optional injected faults.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "sim/expected_dump.hpp"
#include "sim/history.hpp"
#include "sim/memories.hpp"
#include "sim/rng.hpp"

namespace statvtk::sim {

// 2026-12-08 10:30:00, the clock of a run without --now.
inline constexpr std::uint32_t kDefaultNow = 1796725800u;
inline constexpr std::uint32_t kDefaultLongAddress = 12345678u;

// Probabilities per reply, 0..1.
struct FaultRates {
  double drop = 0, corrupt = 0, wrongCommand = 0, noise = 0, truncate = 0;
};

struct FaultCounts {
  std::uint64_t requests = 0, replies = 0, ignored = 0, rejected = 0;
  std::uint64_t dropped = 0, corrupted = 0, wrongCommand = 0, noise = 0, truncated = 0;
  std::uint64_t silenced = 0;  // requests left unanswered after --silent-after
};

struct InstrumentOptions {
  DeviceType model = DeviceType::dtVTK0814C;
  std::uint64_t seed = 1;
  std::uint32_t now = kDefaultNow;  // device time of the instrument's clock (it stands still)
  std::uint8_t address = 1;
  std::uint32_t longAddress = kDefaultLongAddress;
  FaultRates faults;
  std::uint32_t latencyMs = 0;  // reply delay, applied by the carriers
  std::uint32_t lineSpeed = 0;  // on a pseudo-terminal, the only speed it hears frames at (0: any)
  // After this many replies the instrument answers nothing more (a line gone dead).
  std::optional<std::uint64_t> silentAfter;
  bool verbose = false;  // log every request on the log sink
  // What the instrument reports instead of its own, byte for byte (--serial,
  // --ident): the serial number of the VTK models' configuration (8 bytes,
  // a shorter one padded with NULs) and the identification text.
  std::optional<std::string> serial;
  std::optional<std::string> ident;
  // Shapes of real meters' archive memories the history is made with
  // (--clock-reset, --clock-back, --bad-year, --history-hours, --garbage-slots),
  // and its consumption, states and events (--quiet-nights ... --clock-set).
  MemoryShapes shapes;
};

// The form of a whole request frame (nullopt when its length fits neither);
// a frame that fits both is long when it carries `longAddress`.
std::optional<frame::Form> FormOf(std::span<const std::uint8_t> frame, std::uint32_t longAddress);

class Instrument {
 public:
  explicit Instrument(const InstrumentOptions& o);

  const InstrumentOptions& Options() const { return opt_; }
  DeviceType Model() const { return opt_.model; }
  const std::string& IdentificationText() const { return ident_; }
  // The history and memories; while a carrier serves the instrument, read
  // them only when no Advance can run at the same time.
  const History& GetHistory() const { return history_; }
  const Memories& GetMemories() const { return mem_; }
  std::span<const std::uint8_t> Memory(MemoryKind k) const { return mem_.Of(k); }

  // The statistics file of a correct full read, and its bytes.
  StatData ExpectedDump() const { return sim::ExpectedDump(opt_.model, mem_); }
  std::vector<std::uint8_t> ExpectedDumpBytes() const;

  // Lets `hours` hours pass: the clock moves on, each closed hour, day and
  // month writes its record after the area's pointer, a few events are
  // written and the current values follow. Safe while a carrier serves it.
  void Advance(std::uint32_t hours);

  // The exact reply to a whole request frame (short or long form), or the
  // error: BadAddress with no reason for a frame to another address (the
  // instrument stays silent), BadData with the reason of a refusal (malformed,
  // not supported by the model, outside the memory).
  Result<std::vector<std::uint8_t>> Respond(std::span<const std::uint8_t> request) const;

  // Respond with the fault injection applied and counted; refusals go to the log sink.
  std::optional<std::vector<std::uint8_t>> Handle(std::span<const std::uint8_t> request);

  FaultCounts Counts() const;
  std::string CountsText() const;

  // Where refusal lines go (default: standard error). Handle may be called from any thread.
  void SetLog(std::function<void(std::string_view)> sink);
  void Log(std::string_view line);

 private:
  Result<std::vector<std::uint8_t>> Read(const frame::DecodedRequest& r) const;
  void Inject(std::vector<std::uint8_t>& reply, frame::Form form);

  InstrumentOptions opt_;
  History history_;
  Memories mem_;
  std::string ident_;
  mutable std::shared_mutex memMu_;  // history_ and mem_ against Advance
  mutable std::mutex mu_;
  Rng rng_;
  FaultCounts counts_;
  std::function<void(std::string_view)> log_;
};

}  // namespace statvtk::sim
