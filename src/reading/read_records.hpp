// Block loops shared by the device paths of the reading job (internal).
#pragma once

#include <cstdint>
#include <vector>

#include "reading/read_thread.hpp"

namespace statvtk {

inline std::vector<std::uint32_t> ForwardAddresses(std::uint32_t first, std::uint32_t size, std::uint32_t count) {
  std::vector<std::uint32_t> v(count);
  for (std::uint32_t i = 0; i < count; ++i) v[i] = first + i * size;
  return v;
}

template <class ReadFn, class ShownFn>
TReadThread::Step TReadThread::ReadRecords(const std::vector<std::uint32_t>& addresses, std::uint32_t size,
                                           std::vector<std::uint8_t>& area, const std::string& errorMessage,
                                           ReadFn read, ShownFn shown) {
  for (std::size_t n = 0; n < addresses.size(); ++n) {
    const std::uint32_t a = addresses[n];
    Step s = AfterBlock(read(a, std::span(area).subspan(a, size)), errorMessage);
    if (s != Step::Ok) return s;
    fetched_ = true;
    shown(static_cast<int>(n));
  }
  return Step::Ok;
}

}  // namespace statvtk
