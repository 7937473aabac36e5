#include "collect/report_image.hpp"

#include <array>
#include <cstring>

#include "stats/device_type.hpp"
#include "stats/stat_file.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

constexpr std::array<DeviceType, 4> kTypes{DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08};

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

// The header of the newest statistics file a good read of the serial wrote.
std::optional<std::pair<StatData, std::filesystem::path>> NewestFile(store::RecordStore& store,
                                                                     const std::string& serial, DeviceType type,
                                                                     const std::filesystem::path& home) {
  auto reads = store.Reads({serial, "", 50, true});
  if (!reads) return std::nullopt;
  for (const auto& r : *reads) {
    if (r.file.empty()) continue;
    std::filesystem::path p = r.file;
    if (p.is_relative()) p = home / p;
    auto data = LoadStatFile(p, ExtensionRule::LowerCase);
    if (!data) continue;
    // A VTK-08.14 file stands for C and CM alike: the member is the store's.
    const bool same =
        data->type == type || (FileExtension(data->type) == FileExtension(type) && data->type != DeviceType::dtUnknown);
    if (!same) continue;
    data->type = type;
    return std::make_pair(std::move(*data), p);
  }
  return std::nullopt;
}

// A blank header that names the serial (where the model keeps it).
void WriteSerial(StatData& data, const std::string& serial) {
  if (data.type == DeviceType::dtLDN08) {
    const auto n = static_cast<std::uint32_t>(std::strtoul(serial.c_str(), nullptr, 10));
    for (int i = 0; i < 4 && data.header.size() >= 4; ++i)
      data.header[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(n >> (8 * i));
    return;
  }
  for (std::size_t i = 0; i < 8 && 512 + i < data.header.size(); ++i)
    data.header[512 + i] = i < serial.size() && serial[i] != '#' ? static_cast<std::uint8_t>(serial[i]) : 0;
}

}  // namespace

ArchiveSlots SlotsOf(DeviceType type, ArchiveKind archive) {
  switch (type) {
    case DeviceType::dtVTK0812:
      if (archive == ArchiveKind::Hourly) return {0x4000, 1080, 32};
      if (archive == ArchiveKind::Daily) return {0xD000, 366, 32};
      return {};
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM:
      if (archive == ArchiveKind::Hourly) return {0, 1440, 64};
      if (archive == ArchiveKind::Daily) return {92160, 400, 64};
      return {117760, 120, 64};
    case DeviceType::dtLDN08:
      if (archive == ArchiveKind::Hourly) return {0, 1440, 68};
      if (archive == ArchiveKind::Daily) return {196608, 365, 68};
      return {262144, 36, 68};
    case DeviceType::dtUnknown: return {};
  }
  return {};
}

DeviceType TypeOfModelName(std::string_view model) {
  for (const auto t : kTypes)
    if (DeviceTypeName(t) == model) return t;
  return DeviceType::dtUnknown;
}

Result<StoreImage> ImageFromStore(store::RecordStore& store, const StoreImageRequest& request,
                                  const std::filesystem::path& home) {
  auto instruments = store.Instruments();
  if (!instruments) return instruments.error();
  DeviceType type = DeviceType::dtUnknown;
  for (const auto& i : *instruments)
    if (i.serial == request.serial) type = TypeOfModelName(i.model);
  if (type == DeviceType::dtUnknown)
    return MakeError(ErrorCode::BadSettings, "нет прибора с заводским номером " + request.serial + " в хранилище");
  const ArchiveSlots slots = SlotsOf(type, request.archive);
  if (slots.count == 0)
    return MakeError(ErrorCode::BadData, std::string(DeviceTypeName(type)) + " не ведёт такого архива");

  StoreImage image;
  if (auto file = NewestFile(store, request.serial, type, home)) {
    image.data = std::move(file->first);
    image.header = file->second;
    std::fill(image.data.area.begin(), image.data.area.end(), std::uint8_t{0});
  } else {
    image.data = StatData::Blank(type);
    WriteSerial(image.data, request.serial);
  }

  // The period's records and the newest one before it: the increments of the
  // first record are taken against that one, as in the instrument's memory.
  auto before = store.Records({request.serial, request.archive, "", request.from, 0});
  if (!before) return before.error();
  auto rows = store.Records({request.serial, request.archive, request.from, request.to, slots.count - 2});
  if (!rows) return rows.error();
  std::vector<const store::RecordRow*> placed;
  for (auto it = before->rbegin(); it != before->rend(); ++it)
    if (it->period < request.from) {
      placed.push_back(&*it);
      break;
    }
  for (const auto& r : *rows) placed.push_back(&r);
  // Slot 0 stays blank: the oldest placed record has nothing before it.
  std::size_t slot = 1;
  for (const auto* r : placed) {
    const auto bytes = BytesOfHex(r->raw);
    if (!bytes || bytes->size() != slots.size) continue;  // a record of another layout: left out
    std::copy(bytes->begin(), bytes->end(),
              image.data.area.begin() + static_cast<std::ptrdiff_t>(slots.offset + slot * slots.size));
    ++slot;
    if (r->period >= request.from) ++image.records;
  }
  return image;
}

}  // namespace statvtk::collect
