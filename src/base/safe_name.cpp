// File name parts from instrument data, and instrument text made printable.
#include "base/safe_name.hpp"

#include <array>
#include <cstdint>

#include "base/printable_text.hpp"
#include "base/utf8.hpp"

namespace statvtk {

namespace {

constexpr char kMark = '#';

bool ForbiddenAscii(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
         c == '>' || c == '|';
}

// Code points that are not to be seen: C1 controls, direction marks and
// overrides, the byte order mark, line and paragraph separators.
bool Invisible(std::uint32_t cp) {
  return (cp >= 0x80 && cp <= 0x9F) || cp == 0x200E || cp == 0x200F || (cp >= 0x2028 && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFEFF;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// CON, PRN, AUX, NUL, COM1..9, LPT1..9 as the name before its first dot.
bool ReservedOnWindows(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string up;
  for (char c : base) up += Upper(c);
  static constexpr std::array<std::string_view, 4> kPlain{"CON", "PRN", "AUX", "NUL"};
  for (const auto r : kPlain)
    if (up == r) return true;
  return up.size() == 4 && (up.starts_with("COM") || up.starts_with("LPT")) && up[3] >= '1' && up[3] <= '9';
}

}  // namespace

std::string SafeNamePart(std::string_view text, std::size_t maxBytes) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    const std::size_t len = Utf8Length(text, i, &cp);
    std::string_view piece;
    if (len == 0 || (len == 1 && ForbiddenAscii(static_cast<unsigned char>(text[i]))) || Invisible(cp)) {
      piece = std::string_view(&kMark, 1);
    } else {
      piece = text.substr(i, len);
    }
    if (out.size() + piece.size() > maxBytes) break;
    out += piece;
    i += len == 0 ? 1 : len;
  }
  if (out.empty()) return out;
  if (out.front() == '.' || out.front() == ' ') out.front() = kMark;
  if (out.back() == '.' || out.back() == ' ') out.back() = kMark;
  if (ReservedOnWindows(out)) {
    out.insert(out.begin(), kMark);
    if (out.size() > maxBytes) {
      // Cut back to a character boundary.
      std::size_t end = maxBytes;
      while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
      out.resize(end);
    }
  }
  return out;
}

std::string PrintableText(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    const std::size_t len = Utf8Length(text, i, &cp);
    const bool control = len == 1 && (cp < 0x20 || cp == 0x7F);
    if (len == 0 || control || (cp >= 0x80 && cp <= 0x9F)) {
      // A C1 control is two bytes in UTF-8: each is shown.
      const std::size_t n = len == 0 ? 1 : len;
      for (std::size_t k = 0; k < n; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
      }
      i += n;
      continue;
    }
    out.append(text.substr(i, len));
    i += len;
  }
  return out;
}

std::string LogSafeText(std::string_view text) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    std::size_t end = nl;
    const bool crlf = nl < text.size() && end > start && text[end - 1] == '\r';
    if (crlf) --end;
    out += PrintableText(text.substr(start, end - start));
    if (nl == text.size()) break;
    out += crlf ? "\r\n" : "\n";
    start = nl + 1;
  }
  return out;
}

}  // namespace statvtk
