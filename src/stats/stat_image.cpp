#include "stats/stat_image.hpp"

namespace statvtk {

namespace {

// What a model's statistics image is made of, and its file ending.
struct ImageShape {
  std::size_t areaSize = 0;
  std::size_t headerSize = 0;
  std::string_view extension;
};

ImageShape ShapeOf(DeviceType t) {
  switch (t) {
    case DeviceType::dtVTK0812: return {kArea0812Size, kVtkHeaderSize, ".vst"};
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: return {kArea0814Size, kVtkHeaderSize, ".814"};
    case DeviceType::dtLDN08: return {kAreaLdnSize, kLdnHeaderSize, ".ldn"};
    case DeviceType::dtUnknown: break;
  }
  return {0, 0, ""};
}

}  // namespace

std::size_t AreaSize(DeviceType t) { return ShapeOf(t).areaSize; }
std::size_t HeaderSize(DeviceType t) { return ShapeOf(t).headerSize; }
std::string_view FileExtension(DeviceType t) { return ShapeOf(t).extension; }

}  // namespace statvtk
