#include "collect/image/report_image.hpp"

#include <cstring>

#include "collect/image/archive_slots.hpp"
#include "collect/image/store_image.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

Result<StoreImage> ImageFromStore(store::RecordStore& store, const StoreImageRequest& request) {
  auto instruments = store.Instruments();
  if (!instruments) return instruments.error();
  DeviceType type = DeviceType::dtUnknown;
  for (const auto& i : *instruments)
    if (i.serial == request.serial) type = TypeOfModelName(i.model);
  if (type == DeviceType::dtUnknown)
    return MakeError(ErrorCode::BadSettings, "нет прибора с заводским номером " + request.serial + " в хранилище");
  return ImageFromStore(store, request, type);
}

Result<StoreImage> ImageFromStore(store::RecordStore& store, const StoreImageRequest& request, DeviceType type) {
  const ArchiveSlots slots = SlotsOf(type, request.archive);
  if (slots.count == 0)
    return MakeError(ErrorCode::BadData, std::string(DeviceTypeName(type)) + " не ведёт такого архива");

  // The header cells come from the header of the instrument's newest read:
  // without one they would be blank, so there is no report.
  auto header = store.NewestHeader(request.serial);
  if (!header) return header.error();
  if (!*header)
    return MakeError(ErrorCode::BadData, "в хранилище нет заголовка прибора " + request.serial +
                                             " (ни одно его чтение не сохранило заголовок): шапку отчёта не из чего "
                                             "заполнить; прочитайте прибор (statvtk-collect once)");
  auto data = HeaderData(**header);
  if (!data) return data.error();
  StoreImage image;
  image.data = std::move(*data);
  image.data.type = type;  // a VTK-08.14's member is the store's
  image.headerRead = (*header)->readId;

  // The period's records and the newest one before it: the increments of the
  // first record are taken against that one, as in the instrument's memory.
  // (no further back than the area reaches).
  const auto from = store::ParsePeriod(request.archive, request.from);
  const std::string reach =
      from ? store::PeriodText(request.archive,
                               store::StepPeriod(request.archive, *from, -static_cast<long>(slots.count)))
           : std::string();
  auto before = store.Records({request.serial, request.archive, reach, request.from, 0});
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
