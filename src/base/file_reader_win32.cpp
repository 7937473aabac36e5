// Whole-file reading over Win32 handles.
#include "base/file_reader.hpp"

#include <array>

#include "base/system_error.hpp"
#include "base/unique_handle.hpp"

namespace statvtk {

Result<std::vector<std::uint8_t>> ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit) {
  const auto systemFailure = [](DWORD code) { return SystemFailure(static_cast<int>(code)); };
  // Others may keep reading it meanwhile, but nobody may write it.
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) {
    const DWORD err = GetLastError();
    // A folder cannot be opened this way; tell it apart from a refusal.
    const DWORD attrs = GetFileAttributesW(path.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
      return NotRegularFailure(NonRegularKind::Folder);
    return systemFailure(err);
  }
  if (const DWORD type = GetFileType(file.get()); type != FILE_TYPE_DISK) {
    return NotRegularFailure(type == FILE_TYPE_PIPE   ? NonRegularKind::Fifo
                             : type == FILE_TYPE_CHAR ? NonRegularKind::Device
                                                      : NonRegularKind::Other);
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return systemFailure(GetLastError());
  if (static_cast<std::uintmax_t>(size.QuadPart) > limit) return TooLargeFailure();
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  std::array<std::uint8_t, 65536> buf;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr))
      return systemFailure(GetLastError());
    if (n == 0) return bytes;
    if (bytes.size() + n > limit) return TooLargeFailure();
    bytes.insert(bytes.end(), buf.begin(), buf.begin() + n);
  }
}

}  // namespace statvtk
