#include "base/system_error.hpp"

#include <cstring>

namespace statvtk {

std::string SystemErrorText(int code) { return std::strerror(code); }

}  // namespace statvtk
