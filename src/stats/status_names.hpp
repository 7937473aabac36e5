// The words of each model's status bits, as the "Состояние" column and the
// record's status text name them: the one table per model.
#pragma once

#include <span>
#include <string_view>

#include "stats/device_type.hpp"

namespace statvtk {

// Bit k's word of the model's record status flags ("" for a bit it does not
// name); empty for an unknown model.
std::span<const std::string_view> StatusBitNames(DeviceType type);

}  // namespace statvtk
