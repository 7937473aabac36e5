// UTF-8 <-> UTF-16 for the Win32 sides of the seams: the core speaks UTF-8,
// the wide Win32 calls speak UTF-16. Included by *_win32.cpp files only.
#pragma once

#include <windows.h>

#include <string>

namespace statvtk::win32 {

inline std::string Utf8(const wchar_t* text, int length = -1) {
  if (text == nullptr || length == 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  if (length < 0 && !out.empty() && out.back() == '\0') out.pop_back();
  return out;
}

inline std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

}  // namespace statvtk::win32
