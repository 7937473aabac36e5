// The fault barrier of the collector's line threads: whatever a step throws
// becomes its Error, so that nothing in the data (an instrument's texts, a
// settings value, a store row) ends the process.
#pragma once

#include <exception>
#include <string>

#include "base/error.hpp"

namespace statvtk::collect {

// Runs `step` (which returns a Result); an exception becomes the Result's Error.
template <class F>
auto Guarded(F&& step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::exception& e) {
    return MakeError(ErrorCode::BadData, std::string("исключение: ") + e.what());
  } catch (...) {
    return MakeError(ErrorCode::BadData, "неизвестное исключение");
  }
}

}  // namespace statvtk::collect
