// Where each archive lies in a model's memory: its area, its number of
// records and their size, as the store's slots and the rebuilt images place
// them; and the model a stored instrument names.
#pragma once

#include <cstddef>
#include <string_view>

#include "stats/device_type.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::collect {

// The area and record size of an archive of a model (0 when the model has no such archive).
struct ArchiveSlots {
  std::size_t offset = 0, count = 0, size = 0;
};
ArchiveSlots SlotsOf(DeviceType type, ArchiveKind archive);

// The model of a stored instrument ("VTK-08.12", ...); dtUnknown for another text.
DeviceType TypeOfModelName(std::string_view model);

}  // namespace statvtk::collect
