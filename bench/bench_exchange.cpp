// Exchanges per second with a scripted instrument that answers 1 ms after
// each request, beside the 1000/s such an instrument allows and the 50/s that
// waiting in fixed 20 ms steps would give.
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "../tests/support/memory_channel.hpp"
#include "link/frame.hpp"
#include "link/tmod07.hpp"

using statvtk::Tmod07;
using statvtk::test_support::MemoryChannel;
using statvtk::test_support::ScriptedReply;

namespace {

constexpr double kInstrumentLimit = 1000.0;  // one exchange per 1 ms answer
constexpr double kPollingLimit = 50.0;       // one exchange per 20 ms step

struct Run {
  const char* name;
  bool longForm;
  std::size_t dataBytes;
};

double ExchangesPerSecond(const Run& run, int count) {
  const std::vector<std::uint8_t> data(run.dataBytes, 0x5A);
  auto channel = std::make_unique<MemoryChannel>([&](std::span<const std::uint8_t> req) {
    const auto reply = run.longForm
                           ? statvtk::frame::BuildLong(statvtk::frame::kReplyStart, 1, req[5], req[6], data)
                           : statvtk::frame::BuildShort(statvtk::frame::kReplyStart, req[1], req[3], req[4], data);
    return ScriptedReply{reply, std::chrono::milliseconds(1)};
  });
  Tmod07 link;
  link.AttachChannel(std::move(channel));
  link.SetTiming({100, 150, 10});
  std::vector<std::uint8_t> out(run.dataBytes);
  const auto t0 = std::chrono::steady_clock::now();
  int good = 0;
  for (int i = 0; i < count; ++i) {
    const auto count8 = static_cast<std::uint8_t>(run.dataBytes);
    good += run.longForm
                ? link.Read(statvtk::frame::Op::ReadArchive32Long, 1, static_cast<std::uint32_t>(i) * 64, count8, out)
                : link.Read(statvtk::frame::Op::ReadArchive32, 1, static_cast<std::uint32_t>(i) * 64, count8, out);
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (good != count) std::printf("  (%d of %d exchanges failed)\n", count - good, count);
  return count / s;
}

}  // namespace

int main() {
  const int count = 1000;
  std::printf("Scripted instrument answering 1 ms after each request, %d exchanges per run\n", count);
  std::printf("%-26s %12s %14s %14s\n", "run", "exchanges/s", "of 1000/s", "x 50/s (20 ms)");
  const Run runs[] = {{"short form, 16 data bytes", false, 16},
                      {"short form, 64 data bytes", false, 64},
                      {"long form, 64 data bytes", true, 64}};
  for (const Run& run : runs) {
    const double rate = ExchangesPerSecond(run, run.longForm ? 100 : count);
    std::printf("%-26s %12.0f %13.0f%% %13.1fx\n", run.name, rate, 100.0 * rate / kInstrumentLimit,
                rate / kPollingLimit);
  }
  std::printf("A long-form reply is taken as soon as it starts; a silent instrument still gets 50 ms more.\n");
  return 0;
}
