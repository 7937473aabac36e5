// Fuzz target of the reply receiver: arbitrary bytes from the instrument's
// side, delivered through a memory channel into exchanges of both frame forms.
// The fixed waits run on a virtual clock, so each input takes microseconds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../tests/support/memory_channel.hpp"
#include "link/frame.hpp"
#include "base/error.hpp"
#include "link/tmod07.hpp"

using statvtk::Tmod07;
using statvtk::test_support::MemoryChannel;
using statvtk::test_support::ScriptedReply;

namespace {

// Stops the run at a broken invariant, naming its line.
#define CHECK(condition)                                                           \
  do {                                                                             \
    if (!(condition)) {                                                            \
      std::fprintf(stderr, "fuzz_receiver: %s (line %d)\n", #condition, __LINE__); \
      std::abort();                                                                \
    }                                                                              \
  } while (0)

bool KnownReceptionCode(std::uint32_t c) {
  using statvtk::ErrorCode;
  const auto n = [](ErrorCode e) { return statvtk::CodeNumber(e); };
  return c == 0 || c == n(ErrorCode::Timeout) || c == n(ErrorCode::BadSize) || c == n(ErrorCode::BadChecksum) ||
         c == n(ErrorCode::BadAddress) || c == n(ErrorCode::WrongReply);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint8_t flags = data[0];
  const bool longForm = flags & 1;
  const std::uint32_t retries = (flags & 2) ? 2 : 1;
  const bool tcp = flags & 4;
  const bool tracing = flags & 8;
  const bool wellFormed = data[2] & 0x80;
  const std::size_t outSize = data[4] % 300;
  const std::vector<std::uint8_t> rest(data + 5, data + size);
  const std::size_t split = rest.empty() ? 0 : data[3] * rest.size() / 255;
  const std::vector<std::vector<std::uint8_t>> replies{
      {rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(split)},
      {rest.begin() + static_cast<std::ptrdiff_t>(split), rest.end()}};

  std::size_t writes = 0;
  MemoryChannel::Options options;
  options.realTime = false;  // every byte at once; an empty input answers "nothing" at once
  auto channel = std::make_unique<MemoryChannel>(
      [&](std::span<const std::uint8_t> req) {
        const std::size_t k = writes++;
        std::vector<std::uint8_t> reply = k < replies.size() ? replies[k] : std::vector<std::uint8_t>{};
        if (wellFormed && !reply.empty()) {
          // A proper reply to the request carrying the input as data, one byte
          // of it perhaps damaged: reaches the checks past the header.
          reply.resize(std::min<std::size_t>(reply.size(), 256));
          reply = longForm ? statvtk::frame::BuildLong(0xAA, 0x01020304, req[5], req[6], reply)
                           : statvtk::frame::BuildShort(0xAA, req[1], req[3], req[4], reply);
          if (data[3] & 1) reply[data[3] % reply.size()] ^= data[4];
        }
        return ScriptedReply{reply};
      },
      options);

  Tmod07 link(tcp ? statvtk::LineTarget(statvtk::TcpLine{}) : statvtk::LineTarget(statvtk::SerialLine{}),
              {static_cast<std::uint32_t>(data[1] % 11), static_cast<std::uint32_t>(data[2] % 11), retries});
  link.AttachChannel(std::move(channel));
  link.SetWaitFunction([](std::uint32_t) {});
  std::size_t traced = 0;
  if (tracing)
    link.SetTrace([&](const statvtk::FrameTrace& t) {
      for (std::uint8_t b : t.bytes) traced += b;  // every traced byte is readable
      CHECK(KnownReceptionCode(t.result));
    });

  std::vector<std::uint8_t> out(outSize, 0x5A);
  bool ok = false;
  const bool identify = (flags >> 4) % 5 == 0;  // the text is the result; out stays untouched
  switch ((flags >> 4) % 5) {
    case 0: ok = longForm ? !link.IdentifyLong(0x01020304).empty() : !link.Identify(1).empty(); break;
    case 1:
      ok = longForm ? link.Read(statvtk::frame::Op::ReadBlock16Long, 7, 0x0100, 32, out)
                    : link.Read(statvtk::frame::Op::ReadBlock16, 7, 0x0100, 32, out);
      break;
    case 2:
      ok = longForm ? link.Read(statvtk::frame::Op::ReadParams16Long, 7, 180, 4, out)
                    : link.Read(statvtk::frame::Op::ReadParams16, 7, 180, 4, out);
      break;
    case 3:
      ok = longForm ? link.Read(statvtk::frame::Op::ReadArchive32Long, 7, 0x1000, 64, out)
                    : link.Read(statvtk::frame::Op::ReadArchive32, 7, 0x1000, 64, out);
      break;
    default:
      ok = longForm ? link.Read(statvtk::frame::Op::ReadBlock16Long, 7, 0, 0, out)
                    : link.Read(statvtk::frame::Op::ReadBlock8, 7, 0, 16, out);
      break;
  }

  CHECK(KnownReceptionCode(link.LastError()));
  CHECK(link.SentCount() == writes && writes >= 1 && writes <= retries);
  CHECK(link.ReplyCount() <= writes && link.ErrorCount() <= writes);
  if (ok) {
    CHECK(link.LastError() == 0);
    const auto reply = link.ReplyData();
    CHECK(!reply.empty() && reply.size() <= 256);
    const std::size_t n = identify ? 0 : std::min(reply.size(), out.size());
    CHECK(std::equal(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(n), out.begin()));
  }
  if (!ok || identify) {
    if (!ok) CHECK(link.LastError() != 0);  // nothing aborts here
    CHECK(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0x5A; }));
  }
  volatile std::size_t sink = traced;
  (void)sink;
  return 0;
}
