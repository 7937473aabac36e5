#include "base/system_error.hpp"

#include "base/win32_text.hpp"

namespace statvtk {

std::string SystemErrorText(int code) {
  wchar_t* buf = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::string text = n > 0 ? win32::Utf8(buf, static_cast<int>(n)) : std::string();
  if (buf) LocalFree(buf);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  if (text.empty()) text = "системная ошибка " + std::to_string(code);
  return text;
}

}  // namespace statvtk
