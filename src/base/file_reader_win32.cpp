// Whole-file reading over Win32 handles.
#include "base/file_reader.hpp"

#include <array>

#include "base/unique_handle.hpp"

namespace statvtk {

FileReadResult ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit) {
  FileReadResult r;
  const auto fail = [&r](FileReadFault fault, DWORD code = 0) {
    r.bytes.clear();
    r.fault = fault;
    r.errorCode = static_cast<int>(code);
    return std::move(r);
  };
  // Others may keep reading it meanwhile, but nobody may write it.
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) {
    const DWORD err = GetLastError();
    // A folder cannot be opened this way; tell it apart from a refusal.
    const DWORD attrs = GetFileAttributesW(path.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      r.kind = NonRegularKind::Folder;
      return fail(FileReadFault::NotRegular);
    }
    return fail(FileReadFault::System, err);
  }
  if (const DWORD type = GetFileType(file.get()); type != FILE_TYPE_DISK) {
    r.kind = type == FILE_TYPE_PIPE ? NonRegularKind::Fifo : type == FILE_TYPE_CHAR ? NonRegularKind::Device
                                                                                   : NonRegularKind::Other;
    return fail(FileReadFault::NotRegular);
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return fail(FileReadFault::System, GetLastError());
  if (static_cast<std::uintmax_t>(size.QuadPart) > limit) return fail(FileReadFault::TooLarge);
  r.bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  std::array<std::uint8_t, 65536> buf;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr))
      return fail(FileReadFault::System, GetLastError());
    if (n == 0) return r;
    if (r.bytes.size() + n > limit) return fail(FileReadFault::TooLarge);
    r.bytes.insert(r.bytes.end(), buf.begin(), buf.begin() + n);
  }
}

}  // namespace statvtk
