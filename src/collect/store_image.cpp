#include "collect/store_image.hpp"

#include <algorithm>

#include "collect/report_image.hpp"
#include "reading/new_records.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

using store::ParsePeriod;
using store::PeriodText;
using store::StepPeriod;

Result<StatData> HeaderData(const store::HeaderRow& header) {
  const DeviceType type = TypeOfModelName(header.model);
  if (type == DeviceType::dtUnknown)
    return MakeError(ErrorCode::BadData, "неизвестная модель прибора в заголовке чтения " +
                                             std::to_string(header.readId) + ": " + header.model);
  StatData data = StatData::Blank(type);
  if (header.block.size() != data.header.size())
    return MakeError(ErrorCode::BadData, "заголовок чтения " + std::to_string(header.readId) + " длиной " +
                                             std::to_string(header.block.size()) + " байт, а у " + header.model +
                                             " он " + std::to_string(data.header.size()));
  data.header = header.block;
  return data;
}

std::optional<std::vector<std::uint8_t>> BytesOfHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> out;
  out.reserve(hex.size() / 2);
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return out;
}

void LayRecords(ArchiveKind kind, std::span<std::uint8_t> area, std::size_t offset, std::size_t count,
                std::size_t recordSize, std::uint32_t pointer, const std::vector<StoredRecord>& newestFirst,
                const std::vector<std::string>& gone, const std::map<std::string, std::vector<std::uint8_t>>& twice) {
  if (newestFirst.empty() || count == 0 || pointer < offset || (pointer - offset) % recordSize != 0 ||
      (pointer - offset) / recordSize >= count || offset + count * recordSize > area.size())
    return;
  auto t = ParsePeriod(kind, newestFirst.front().period);
  if (!t) return;
  std::size_t slot = (pointer - offset) / recordSize, next = 0, laid = 0;
  const auto lay = [&](const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != recordSize) return false;
    std::copy(bytes.begin(), bytes.end(), area.begin() + static_cast<std::ptrdiff_t>(offset + slot * recordSize));
    ++laid;
    slot = slot == 0 ? count - 1 : slot - 1;
    return true;
  };
  // Each step goes one period back; a gone period takes no slot, a hole one.
  for (std::size_t steps = 0; laid < count && next < newestFirst.size() && steps < count + gone.size(); ++steps) {
    const std::string text = PeriodText(kind, *t);
    t = StepPeriod(kind, *t, -1);
    const StoredRecord& r = newestFirst[next];
    if (r.period > text) return;
    if (r.period == text) {
      ++next;
      const auto again = twice.find(text);
      if ((again != twice.end() && !lay(again->second)) || laid >= count || !lay(r.bytes)) return;
    } else if (!std::binary_search(gone.begin(), gone.end(), text)) {
      ++laid;
      slot = slot == 0 ? count - 1 : slot - 1;
    }
  }
}

namespace {

std::uint32_t PointerOf(const ArchivePointers& p, ArchiveKind kind) {
  return kind == ArchiveKind::Hourly ? p.hourly : kind == ArchiveKind::Daily ? p.daily : p.monthly;
}

Result<void> LayArchive(store::RecordStore& s, const std::string& serial, ArchiveKind kind, StatData& data,
                        const std::map<std::string, std::vector<std::uint8_t>>& twice) {
  const ArchiveSlots slots = SlotsOf(data.type, kind);
  if (slots.count == 0) return {};
  auto stats = s.Stats(serial, kind);
  if (!stats) return stats.error();
  const auto newest = ParsePeriod(kind, stats->newest);
  if (!newest) return {};
  auto gone = s.Gone(serial, kind);
  if (!gone) return gone.error();
  // As far back as the instrument's area reaches (plus the periods it never wrote).
  const auto depth = static_cast<long>(slots.count + gone->size());
  auto rows = s.Records({serial, kind, PeriodText(kind, StepPeriod(kind, *newest, -depth)), stats->newest, 0});
  if (!rows) return rows.error();
  std::vector<StoredRecord> newestFirst;
  newestFirst.reserve(rows->size());
  for (auto it = rows->rbegin(); it != rows->rend(); ++it) {
    auto bytes = BytesOfHex(it->raw);
    newestFirst.push_back({it->period, bytes ? std::move(*bytes) : std::vector<std::uint8_t>()});
  }
  LayRecords(kind, data.area, slots.offset, slots.count, slots.size,
             PointerOf(PointersOf(data.type, data.header), kind), newestFirst, *gone, twice);
  return {};
}

}  // namespace

Result<std::optional<StatData>> NewestImage(store::RecordStore& s, const std::string& serial) {
  auto header = s.NewestHeader(serial);
  if (!header) return header.error();
  if (!*header) return std::optional<StatData>();
  auto data = HeaderData(**header);
  if (!data) return data.error();
  if (data->type == DeviceType::dtVTK0812) return std::optional<StatData>(std::move(*data));
  auto conflicts = s.Conflicts(serial);
  if (!conflicts) return conflicts.error();
  for (const ArchiveKind kind : store::kArchiveKinds) {
    std::map<std::string, std::vector<std::uint8_t>> twice;  // the newest conflict of each period
    for (const auto& c : *conflicts)
      if (c.record.archive == kind && !twice.contains(c.record.period))
        if (auto bytes = BytesOfHex(c.record.raw)) twice.emplace(c.record.period, std::move(*bytes));
    if (auto laid = LayArchive(s, serial, kind, *data, twice); !laid) return laid.error();
  }
  return std::optional<StatData>(std::move(*data));
}

}  // namespace statvtk::collect
