#include "stats/stat_image.hpp"

namespace statvtk {

std::size_t AreaSize(DeviceType t) {
  switch (t) {
    case DeviceType::dtVTK0812: return kArea0812Size;
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: return kArea0814Size;
    case DeviceType::dtLDN08: return kAreaLdnSize;
    case DeviceType::dtUnknown: break;
  }
  return 0;
}

std::size_t HeaderSize(DeviceType t) {
  switch (t) {
    case DeviceType::dtVTK0812:
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: return kVtkHeaderSize;
    case DeviceType::dtLDN08: return kLdnHeaderSize;
    case DeviceType::dtUnknown: break;
  }
  return 0;
}

std::string_view FileExtension(DeviceType t) {
  switch (t) {
    case DeviceType::dtVTK0812: return ".vst";
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: return ".814";
    case DeviceType::dtLDN08: return ".ldn";
    case DeviceType::dtUnknown: break;
  }
  return "";
}

}  // namespace statvtk
