// ASCII case folding and hex digits, for keys, names, extensions and wire
// texts. A user's Russian text is never folded: it compares as it stands.
#pragma once

#include <string>
#include <string_view>

namespace statvtk {

// `s` with A..Z as a..z; every other byte as it is.
std::string AsciiLower(std::string_view s);
// Whether `s` begins with `prefix`, A..Z and a..z taken as the same.
bool StartsWithAsciiNoCase(std::string_view s, std::string_view prefix);
// The value of a hex digit (0..9, a..f, A..F), or -1.
int HexDigit(char c);

}  // namespace statvtk
