#include "stats/device_type.hpp"

namespace statvtk {

std::string_view DeviceTypeName(DeviceType t) {
  switch (t) {
    case DeviceType::dtVTK0812: return "VTK-08.12";
    case DeviceType::dtVTK0814C: return "VTK-08.14 C";
    case DeviceType::dtVTK0814CM: return "VTK-08.14 CM";
    case DeviceType::dtLDN08: return "LDN-08";
    case DeviceType::dtUnknown: break;
  }
  return "";
}

}  // namespace statvtk
