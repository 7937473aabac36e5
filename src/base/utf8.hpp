// The one UTF-8 check of the program: the length of the valid sequence at a
// position (strict: no overlong forms, no surrogates, nothing beyond
// U+10FFFF), whole texts checked or made valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace statvtk {

// Length (1..4) of the valid UTF-8 sequence starting at s[i]; 0 when the bytes
// there are not one (bad lead or continuation byte, cut short, overlong,
// a surrogate or beyond U+10FFFF). `cp` receives the code point when given.
inline std::size_t Utf8Length(std::string_view s, std::size_t i, std::uint32_t* cpOut = nullptr) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t len = 0;
  std::uint32_t cp = 0;
  if (b0 < 0x80) {
    if (cpOut) *cpOut = b0;
    return 1;
  }
  if ((b0 & 0xE0) == 0xC0) len = 2, cp = b0 & 0x1F;
  else if ((b0 & 0xF0) == 0xE0) len = 3, cp = b0 & 0x0F;
  else if ((b0 & 0xF8) == 0xF0) len = 4, cp = b0 & 0x07;
  else return 0;
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  const bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
  if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  if (cpOut) *cpOut = cp;
  return len;
}

// The offset of the first byte that is not part of valid UTF-8; npos when the
// whole text is valid.
inline std::size_t FirstNonUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = Utf8Length(s, i);
    if (len == 0) return i;
    i += len;
  }
  return std::string_view::npos;
}

inline bool IsUtf8(std::string_view s) { return FirstNonUtf8(s) == std::string_view::npos; }

// `s` with every byte that is not part of valid UTF-8 replaced by U+FFFD (a
// damaged serial number may hold any byte).
inline std::string ValidUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = Utf8Length(s, i);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(s.substr(i, len));
      i += len;
    }
  }
  return out;
}

}  // namespace statvtk
