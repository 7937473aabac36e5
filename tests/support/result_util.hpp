// Unpacking a Result into what a test checks: the value, or the error's reason.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "base/error.hpp"

namespace statvtk {

// True with the value moved into `value`; false with the reason in `error`.
template <class T>
bool Unpack(Result<T> result, T* value, std::string* error) {
  if (!result) {
    *error = result.error().reason;
    return false;
  }
  *value = std::move(*result);
  return true;
}

// The error's reason, empty when there is a value.
template <class T>
std::string ReasonOf(const Result<T>& result) {
  return result ? std::string() : result.error().reason;
}

// The error's code as a number (a link code keeps its protocol number), 0 when there is a value.
template <class T>
std::uint32_t CodeOf(const Result<T>& result) {
  return result ? 0u : static_cast<std::uint32_t>(result.error().code);
}

inline bool Unpack(Result<void> result, std::string* error) {
  if (!result) *error = result.error().reason;
  return result.has_value();
}

}  // namespace statvtk
