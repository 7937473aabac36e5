// Block loops shared by the device paths of the reading job (internal).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "reading/read_maps.hpp"
#include "reading/read_thread.hpp"
#include "stats/stat_model.hpp"

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

template <class ReadFn>
TReadThread::Step TReadThread::ReadLastRecords(ArchiveKind kind, const ArchiveArea& map, std::uint32_t pointer,
                                               std::uint32_t size, std::vector<std::uint8_t>& area, ReadFn read) {
  auto walkBack = [&](int asked) {
    return BackwardWalk(map, pointer, static_cast<std::size_t>(std::max(0, asked + 1)));
  };
  switch (kind) {
    case ArchiveKind::Hourly:
      Status("Чтение часовых записей");
      Progress(0, job_.lastHours);
      return ReadRecords(walkBack(job_.lastHours), size, area, "Ошибка чтения часовых записей", read, ShownFrom(1));
    case ArchiveKind::Daily:
      Status("Чтение суточных записей");
      Progress(0, job_.lastDays);
      return ReadRecords(walkBack(job_.lastDays), size, area, "Ошибка чтения суточных записей", read, ShownFrom(1));
    case ArchiveKind::Monthly: break;
  }
  Status("Чтение записей за месяц");
  Progress(0, 11);
  return ReadRecords(BackwardWalk(map, pointer, 13), size, area, "Ошибка чтения", read, ShownFrom(1));
}

}  // namespace statvtk
