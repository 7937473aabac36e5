// Waiting in tests for what another thread or process brings about: the
// condition is looked at until it holds or the deadline passes, so a loaded
// machine (or Wine) only makes a test slower, never wrong.
#pragma once

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace statvtk {

// True as soon as `condition()` holds; false when it still does not after
// `deadline`. The looks come every millisecond at first, then farther apart
// (up to 50 ms), so that a costly condition (a query, a file read) waited
// on for long does not take the machine's time from what it waits for.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  std::chrono::milliseconds step(1);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return condition();
    std::this_thread::sleep_for(step);  // the polling step, not a guess at a duration
    step = std::min(step * 2, std::chrono::milliseconds(50));
  }
  return true;
}

// Whether `call()` comes back within `limit`, run on a thread of its own: a
// hang fails the test instead of holding it up. A call that does not come
// back is left to its thread, so it must hold what it uses by value.
template <class Call>
bool ReturnsWithin(std::chrono::milliseconds limit, Call call) {
  auto done = std::make_shared<std::promise<void>>();
  auto back = done->get_future();
  std::thread([call = std::move(call), done]() mutable {
    call();
    done->set_value();
  }).detach();
  return back.wait_for(limit) == std::future_status::ready;
}

}  // namespace statvtk
