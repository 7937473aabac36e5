// The stored header blocks kept bounded: all of the last days, then one per
// instrument and day; trimmed at most once a day, after a line's pass.
#pragma once

#include "collect/run/collect_pass.hpp"
#include "collect/run/store_writer.hpp"

namespace statvtk::collect {

// Days whose every read keeps its header.
inline constexpr int kHeaderDays = 30;

// Trims the headers if that was not done today (UTC); a failure is logged.
void TrimHeadersDaily(StoreWriter& writer, const PassLog& log);

}  // namespace statvtk::collect
