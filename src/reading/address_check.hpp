// Whether an instrument's network address can be asked on a line: the short
// address form carries one byte, so a number above 255 needs M-Bus (else it
// would reach another instrument).
#pragma once

#include <cstdint>
#include <string>

namespace statvtk {

// Empty when `address` can be asked; else the reason, for the user.
std::string AddressProblem(std::int64_t address, bool useMBus);

}  // namespace statvtk
