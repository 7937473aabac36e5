// The operating system's own words for one of its error codes: errno on
// POSIX, GetLastError() on Windows.
#pragma once

#include <string>

namespace statvtk {

std::string SystemErrorText(int code);

}  // namespace statvtk
