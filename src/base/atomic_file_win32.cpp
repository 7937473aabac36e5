// Atomic file writing over Win32 handles: a new file beside the target,
// written and flushed (FlushFileBuffers), then moved over the target with
// MoveFileEx (replace, write-through).
#include "base/atomic_file.hpp"

#include "base/system_error.hpp"
#include "base/temp_names.hpp"

#include <algorithm>
#include <atomic>
#include <string>

#include "base/unique_handle.hpp"

namespace statvtk {
namespace {

bool WriteAll(HANDLE h, std::span<const std::uint8_t> buf) {
  std::size_t done = 0;
  while (done < buf.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(buf.size() - done, 1u << 30));
    DWORD n = 0;
    if (!WriteFile(h, buf.data() + done, chunk, &n, nullptr)) return false;
    if (n == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += n;
  }
  return true;
}

// `name` within `room` UTF-16 units: its stem cut (never inside a surrogate
// pair), its extension kept.
std::wstring FitWide(const std::wstring& name, std::size_t room) {
  if (name.size() <= room) return name;
  const auto dot = name.rfind(L'.');
  std::wstring ext = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
  if (ext.size() > 16 || ext.size() >= room) ext.clear();
  std::size_t end = room - ext.size();
  if (end > 0 && name[end] >= 0xDC00 && name[end] <= 0xDFFF) --end;
  return name.substr(0, end) + ext;
}

// A name beside the target no other writer uses: .NAME.PID.N.tmp, within the
// file system's name limit however long NAME is.
std::filesystem::path TemporaryName(const std::filesystem::path& folder, const std::filesystem::path& name) {
  static std::atomic<unsigned> counter{0};
  const std::wstring suffix =
      L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(counter.fetch_add(1)) + L".tmp";
  return folder / (L"." + FitWide(name.wstring(), kNameLimit - 1 - suffix.size()) + suffix);
}

// Writes the parts to a new file beside `path` and flushes it; its name goes
// to `tmp`. False with the last error set (the file removed).
bool WriteTemporary(const std::filesystem::path& path, std::initializer_list<std::span<const std::uint8_t>> parts,
                    std::filesystem::path* tmp) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  // What a crashed write left here goes first.
  RemoveStaleTemporaries(folder);
  UniqueHandle file;
  for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
    *tmp = TemporaryName(folder, path.filename());
    file =
        UniqueHandle(CreateFileW(tmp->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file.valid()) return false;
  const auto fail = [&] {
    const DWORD err = GetLastError();
    file.Close();
    DeleteFileW(tmp->c_str());
    SetLastError(err);
    return false;
  };
  for (const auto part : parts)
    if (!WriteAll(file.get(), part)) return fail();
  if (!FlushFileBuffers(file.get())) return fail();
  if (!file.Close()) return fail();
  return true;
}

}  // namespace

Result<void> AtomicWriteFile(const std::filesystem::path& path,
                             std::initializer_list<std::span<const std::uint8_t>> parts) {
  std::filesystem::path tmp;
  const auto fail = [&](bool created) {
    const DWORD err = GetLastError();
    if (created) DeleteFileW(tmp.c_str());
    return Result<void>(SystemFailure(static_cast<int>(err)));
  };
  if (!WriteTemporary(path, parts, &tmp)) return fail(false);
  if (!MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return fail(true);
  return {};
}

Result<std::filesystem::path> AtomicWriteNewFile(const CandidateName& nameOf, int maxNames,
                                                 std::initializer_list<std::span<const std::uint8_t>> parts) {
  const std::filesystem::path first = nameOf(1);
  std::filesystem::path tmp;
  if (!WriteTemporary(first, parts, &tmp)) return SystemFailure(static_cast<int>(GetLastError()));
  DWORD err = ERROR_FILE_EXISTS;
  for (int n = 1; n <= maxNames && (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS); ++n) {
    const std::filesystem::path target = n == 1 ? first : nameOf(n);
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name exists.
    if (MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return target;
    err = GetLastError();
  }
  DeleteFileW(tmp.c_str());
  return SystemFailure(static_cast<int>(err == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : err));
}

}  // namespace statvtk
