// The program's version, one number for every program of the project (set in
// the top-level CMakeLists.txt).
#pragma once

#include <string_view>

namespace statvtk {

std::string_view StatvtkVersion();

}  // namespace statvtk
