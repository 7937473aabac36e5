// A write stopped while it waits for room (the far end never reads): the
// bytes it took and how long it ran from its start. A write whose abort is
// ignored waits out its whole stall limit, which starts inside the write, so
// a run shorter than that limit shows the abort was heeded. Linux only.
#pragma once

#include <atomic>
#include <chrono>
#include <span>
#include <thread>

#include "link/byte_channel.hpp"
#include "support/blocked_thread.hpp"
#include "support/wait_until.hpp"

namespace statvtk::link_test {

struct StoppedWrite {
  std::size_t written = 0;
  std::chrono::steady_clock::duration took{};
};

inline StoppedWrite WriteAndStop(ByteChannel& ch, std::span<const std::uint8_t> bytes) {
  std::atomic<bool> abort{false};
  ch.SetAbortFlag(&abort);
  std::thread stopper([&, writing = test::ThisThread()] {
    WaitUntil([&] { return test::Asleep(writing); });  // the stop comes while the write waits for room
    abort = true;
  });
  const auto began = std::chrono::steady_clock::now();
  const std::size_t written = ch.Write(bytes);
  const auto took = std::chrono::steady_clock::now() - began;
  stopper.join();
  ch.SetAbortFlag(nullptr);
  return {written, took};
}

}  // namespace statvtk::link_test
