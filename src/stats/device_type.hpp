// The instrument kinds, told apart by their identification text.
#pragma once

#include <string_view>

namespace statvtk {

enum class DeviceType { dtUnknown, dtVTK0812, dtVTK0814C, dtVTK0814CM, dtLDN08 };

// "VTK-08.12", "VTK-08.14 C", "VTK-08.14 CM", "LDN-08", or "" for dtUnknown.
std::string_view DeviceTypeName(DeviceType t);

}  // namespace statvtk
