#include "base/version.hpp"

#ifndef STATVTK_VERSION_STRING
#error "STATVTK_VERSION_STRING must be defined by the build"
#endif

namespace statvtk {

std::string_view StatvtkVersion() { return STATVTK_VERSION_STRING; }

}  // namespace statvtk
