// The operating system's own words for one of its error codes: errno on
// POSIX, GetLastError() on Windows.
#pragma once

#include <string>

#include "base/error.hpp"

namespace statvtk {

std::string SystemErrorText(int code);

// A refusal by the system: ErrorCode::FileSystem, the code and its words.
inline Error SystemFailure(int code) { return MakeError(ErrorCode::FileSystem, SystemErrorText(code), code); }

}  // namespace statvtk
