// A small JSON writer for the command-line program's output.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace statvtk::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  JsonWriter& Key(std::string_view k) {
    Separate();
    Quote(k);
    s_ += ':';
    afterKey_ = true;
    return *this;
  }
  JsonWriter& String(std::string_view v) {
    Separate();
    Quote(v);
    return *this;
  }
  JsonWriter& Int(long long v) {
    Separate();
    s_ += std::to_string(v);
    return *this;
  }
  // Shortest text that reads back to the same double; null for NaN and infinities.
  JsonWriter& Number(double v) {
    Separate();
    if (!std::isfinite(v)) {
      s_ += "null";
      return *this;
    }
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    s_.append(buf, ec == std::errc() ? p : buf);
    return *this;
  }
  const std::string& Text() const { return s_; }

 private:
  JsonWriter& Open(char c) {
    Separate();
    s_ += c;
    first_ = true;
    return *this;
  }
  JsonWriter& Close(char c) {
    s_ += c;
    first_ = false;
    return *this;
  }
  void Separate() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (!first_ && !s_.empty()) s_ += ',';
    first_ = false;
  }
  // Length of the valid UTF-8 sequence starting at v[i]; 0 when it is not one.
  static std::size_t Utf8Length(std::string_view v, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(v[i]);
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (b0 < 0x80) return 1;
    if ((b0 & 0xE0) == 0xC0) len = 2, cp = b0 & 0x1F;
    else if ((b0 & 0xF0) == 0xE0) len = 3, cp = b0 & 0x0F;
    else if ((b0 & 0xF8) == 0xF0) len = 4, cp = b0 & 0x07;
    else return 0;
    if (i + len > v.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
      const auto b = static_cast<unsigned char>(v[i + k]);
      if ((b & 0xC0) != 0x80) return 0;
      cp = (cp << 6) | (b & 0x3F);
    }
    const bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
  }

  // The string quoted; bytes that are not UTF-8 become U+FFFD, so the output
  // is always valid JSON text.
  void Quote(std::string_view v) {
    s_ += '"';
    for (std::size_t i = 0; i < v.size();) {
      const auto c = static_cast<unsigned char>(v[i]);
      if (c >= 0x80) {
        const std::size_t len = Utf8Length(v, i);
        if (len == 0) {
          s_ += "\ufffd";
          ++i;
        } else {
          s_.append(v.substr(i, len));
          i += len;
        }
        continue;
      }
      ++i;
      switch (c) {
        case '"': s_ += "\\\""; break;
        case '\\': s_ += "\\\\"; break;
        case '\n': s_ += "\\n"; break;
        case '\r': s_ += "\\r"; break;
        case '\t': s_ += "\\t"; break;
        default:
          if (c < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            s_ += "\\u00";
            s_ += kHex[c >> 4];
            s_ += kHex[c & 15];
          } else {
            s_ += static_cast<char>(c);
          }
      }
    }
    s_ += '"';
  }

  std::string s_;
  bool first_ = true;
  bool afterKey_ = false;
};

}  // namespace statvtk::cli
