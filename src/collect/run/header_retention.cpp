#include "collect/run/header_retention.hpp"

#include "collect/run/fault_barrier.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

void TrimHeadersDaily(StoreWriter& writer, const PassLog& log) {
  const std::string now = store::UtcNow();
  const std::string today = now.substr(0, 10);
  auto removed = Guarded([&] {
    return writer.With([&](store::RecordStore& s) -> Result<std::int64_t> {
      if (writer.headersTrimmedOn == today) return std::int64_t{0};
      auto r = s.PruneHeaders(kHeaderDays, now);
      if (r) writer.headersTrimmedOn = today;
      return r;
    });
  });
  if (!removed) log("заголовки чтений не прорежены: " + removed.error().reason);
  else if (*removed > 0)
    log("заголовков чтений старше " + std::to_string(kHeaderDays) + " дней удалено: " + std::to_string(*removed) +
        " (оставлено по одному на прибор и день)");
}

}  // namespace statvtk::collect
