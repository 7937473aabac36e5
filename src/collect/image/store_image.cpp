#include "collect/image/store_image.hpp"

#include <algorithm>

#include "collect/image/archive_slots.hpp"
#include "base/ascii.hpp"

namespace statvtk::collect {

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
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return out;
}

Result<std::optional<StoredImage>> NewestImage(store::RecordStore& s, const std::string& serial) {
  auto header = s.NewestHeader(serial);
  if (!header) return header.error();
  if (!*header) return std::optional<StoredImage>();
  auto data = HeaderData(**header);
  if (!data) return data.error();
  StoredImage image{std::move(*data), {}, 0};
  if (image.data.type == DeviceType::dtVTK0812) return std::optional<StoredImage>(std::move(image));
  for (const ArchiveKind kind : store::kArchiveKinds) {
    const ArchiveSlots at = SlotsOf(image.data.type, kind);
    auto& known = image.known[static_cast<std::size_t>(kind)];
    known.assign(at.count, false);
    if (at.count == 0) continue;
    auto slots = s.Slots(serial, kind);
    if (!slots) return slots.error();
    for (const store::SlotRow& slot : *slots) {
      if (slot.slot < 0 || static_cast<std::size_t>(slot.slot) >= at.count || slot.raw.size() != at.size) continue;
      const std::size_t place = at.offset + static_cast<std::size_t>(slot.slot) * at.size;
      if (place + at.size > image.data.area.size()) continue;
      std::copy(slot.raw.begin(), slot.raw.end(), image.data.area.begin() + static_cast<std::ptrdiff_t>(place));
      known[static_cast<std::size_t>(slot.slot)] = true;
    }
    image.unknown += static_cast<std::size_t>(std::count(known.begin(), known.end(), false));
  }
  return std::optional<StoredImage>(std::move(image));
}

}  // namespace statvtk::collect
