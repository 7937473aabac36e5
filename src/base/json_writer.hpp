// A small JSON writer: the command-line output and the collector's stored values.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/utf8.hpp"

namespace statvtk {

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
  // A value that is JSON already (an object the writer made before).
  JsonWriter& Raw(std::string_view json) {
    Separate();
    s_ += json.empty() ? std::string_view("null") : json;
    return *this;
  }
  JsonWriter& Bool(bool v) {
    Separate();
    s_ += v ? "true" : "false";
    return *this;
  }
  JsonWriter& Null() {
    Separate();
    s_ += "null";
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

}  // namespace statvtk
