// Waiting in tests for what another thread or process brings about: the
// condition is looked at until it holds or the deadline passes, so a loaded
// machine (or Wine) only makes a test slower, never wrong.
#pragma once

#include <chrono>
#include <thread>

namespace statvtk {

// True as soon as `condition()` holds; false when it still does not after `deadline`.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the polling step, not a guess at a duration
  }
  return true;
}

}  // namespace statvtk
