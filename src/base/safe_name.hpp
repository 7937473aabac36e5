// The one rule for file names made from an instrument's data (serial numbers,
// identification texts): printable characters only, the characters and device
// names Windows refuses replaced, a bounded length, so that the name stays one
// file inside its folder on every system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace statvtk {

// At most this many bytes of a name part come from the instrument.
inline constexpr std::size_t kSafeNameMaxBytes = 64;

// `text` as a part of a file name. Every byte that is not a printable
// character becomes "#": control characters (NUL included, so an 8-character
// serial with NULs reads "1234####"), DEL, bytes that are not UTF-8, C1
// controls and the invisible direction marks; so do / \ : * ? " < > |.
// A leading or trailing dot or space becomes "#" as well (a hidden file,
// a name Windows trims), and a Windows device name (CON, PRN, AUX, NUL,
// COM1..COM9, LPT1..LPT9, any case, alone or before a dot) gets "#" in
// front. The result is cut to `maxBytes` on a character boundary. Digits,
// letters and the other printable characters stay as they are. Empty stays
// empty.
std::string SafeNamePart(std::string_view text, std::size_t maxBytes = kSafeNameMaxBytes);

}  // namespace statvtk
