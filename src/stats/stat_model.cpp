#include "stats/stat_model.hpp"

#include "base/device_values.hpp"
#include "stats/stat0812.hpp"
#include "stats/stat0814.hpp"
#include "stats/stat_common.hpp"
#include "stats/stat_ldn.hpp"

namespace statvtk {

bool StatModel::EntryValid(ArchiveKind kind, std::size_t i) const {
  const auto idx = Index(kind);
  return i < idx.size() && idx[i].Key != kInvalidKey;
}

bool StatModel::HasValidRecord() const {
  for (const ArchiveKind kind : {ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly})
    if (HasArchive(kind) && EntryValid(kind, 0)) return true;
  return false;
}

std::span<const std::uint8_t> StatModel::RecordBytes(ArchiveKind kind, std::size_t i) const {
  const auto index = Index(kind);
  if (i >= index.size()) return {};
  return detail::Slice(Area(), index[i].Pos, RecordSize(kind));
}

std::vector<CurrRow> StatModel::CurrentRows() const {
  const DeviceInfo d = GetDeviceInfo();
  return {{"Gтек, м3/ч", detail::Format("%.4f", d.currentFlow)},
          {"V+, м3", detail::Format("%.4f", d.forwardTotalNow)},
          {"V-, м3", detail::Format("%.4f", d.reverseTotalNow)}};
}

std::string StatModel::SerialText() const { return StatSerialText(data_); }

std::unique_ptr<StatModel> MakeStatModel(const StatData& data) {
  if (data.type == DeviceType::dtUnknown || data.area.size() != AreaSize(data.type) ||
      data.header.size() != HeaderSize(data.type))
    return nullptr;
  switch (data.type) {
    case DeviceType::dtVTK0812: return std::make_unique<StatModel0812>(data);
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: return std::make_unique<StatModel0814>(data);
    case DeviceType::dtLDN08: return std::make_unique<StatModelLdn>(data);
    case DeviceType::dtUnknown: break;
  }
  return nullptr;
}

std::string StatSerialText(const StatData& data) {
  if (data.type == DeviceType::dtLDN08) {
    if (data.header.size() < 4) return {};
    return std::to_string(LittleUInt32(std::span<const std::uint8_t>(data.header).first(4)));
  }
  if (data.header.size() < 520) return {};
  std::string s;
  for (std::size_t i = 512; i < 520; ++i) s += data.header[i] == 0 ? '#' : static_cast<char>(data.header[i]);
  return s;
}

int StampYear(std::uint32_t stamp) { return 2000 + BcdToInt(static_cast<std::uint8_t>(stamp >> 24)); }
int StampMonth(std::uint32_t stamp) { return BcdToInt(static_cast<std::uint8_t>(stamp >> 16)); }
int StampDay(std::uint32_t stamp) { return BcdToInt(static_cast<std::uint8_t>(stamp >> 8)); }
int StampHour(std::uint32_t stamp) { return BcdToInt(static_cast<std::uint8_t>(stamp & 0x7F)); }

std::string StatusText(std::uint32_t flags, std::span<const std::string_view> bitNames) {
  std::string text;
  for (std::size_t bit = 0; bit < bitNames.size() && bit < 32; ++bit) {
    if (!(flags & (1u << bit)) || bitNames[bit].empty()) continue;
    if (!text.empty()) text += ' ';
    text += bitNames[bit];
  }
  return text.empty() ? "Норма" : text;
}

}  // namespace statvtk
