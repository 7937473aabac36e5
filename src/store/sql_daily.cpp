// The completeness view's counts: a page of instruments' hourly records per
// day with their oldest hour, and the reads per line and modem pool per day,
// one statement each.
#include <algorithm>
#include <iterator>

#include "store/sql_store.hpp"

namespace statvtk::store {

namespace {

// A page's serials are padded to one of a few sizes (with a serial no
// instrument has) so that each connection keeps few statement texts prepared.
constexpr std::size_t kSerialSizes[] = {16, 64, 256};

std::string Placeholders(std::size_t first, std::size_t n) {
  std::string s = "(";
  for (std::size_t i = 0; i < n; ++i) s += (i ? ", $" : "$") + std::to_string(first + i);
  return s + ")";
}

}  // namespace

Result<std::vector<DayCount>> SqlStore::HourlyByDay(std::span<const std::string> serials, const std::string& from,
                                                    const std::string& to) {
  std::vector<DayCount> out;
  constexpr std::size_t kChunk = kSerialSizes[std::size(kSerialSizes) - 1];
  for (std::size_t at = 0; at < serials.size(); at += kChunk) {
    const auto part = serials.subspan(at, std::min(kChunk, serials.size() - at));
    const std::size_t size = *std::find_if(std::begin(kSerialSizes), std::end(kSerialSizes),
                                           [&](std::size_t n) { return n >= part.size(); });
    std::vector<SqlValue> params{SqlText(ArchiveName(ArchiveKind::Hourly)), SqlText(from), SqlText(to)};
    for (std::size_t i = 0; i < size; ++i) params.push_back(SqlText(i < part.size() ? part[i] : std::string()));
    const std::string in = Placeholders(4, size);
    const std::string text =
        "SELECT serial, substr(period, 1, 10), COUNT(*) FROM records WHERE archive = $1 AND period >= $2 "
        "AND period <= $3 AND serial IN " +
        in +
        " GROUP BY serial, substr(period, 1, 10) "
        "UNION ALL SELECT serial, oldest, -1 FROM archive_stats WHERE archive = $1 AND serial IN " +
        in;
    auto rows = c_->Run(text, params, Repeat::Safe);
    if (!rows) return rows.error();
    for (int i = 0; i < rows->Count(); ++i) out.push_back({rows->Text(i, 0), rows->Text(i, 1), rows->Int(i, 2)});
  }
  return out;
}

// The reads of the days asked for only, through reads_by_started; a pool's
// lines are those its calls named in the same days.
Result<std::vector<ReadDayCount>> SqlStore::ReadsByDay(const std::string& fromUtc) {
  return Each<ReadDayCount>(c_->Run(kReadsByDaySql, {SqlText(fromUtc)}, Repeat::Safe), [](const SqlRows& r, int i) {
    return ReadDayCount{r.Int(i, 0) != 0, r.Text(i, 1), r.Text(i, 2), r.Int(i, 3), r.Int(i, 4)};
  });
}

}  // namespace statvtk::store
