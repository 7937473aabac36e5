// Temporary names of atomic writes and the clearing of stale ones.
#include "base/ascii.hpp"
#include "base/temp_names.hpp"

#include <system_error>
#include <vector>

namespace statvtk {

namespace {

bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The temporaries looked for are those of the program's own files.
bool OwnFileName(std::string_view name) {
  const std::string ext =
      AsciiLower(name.substr(name.rfind('.') == std::string_view::npos ? name.size() : name.rfind('.')));
  for (const char* own : {".ini", ".vst", ".814", ".ldn", ".xlsx", ".csv", ".log"})
    if (ext == own) return true;
  return false;
}

}  // namespace

std::string FitName(std::string_view name, std::size_t room) {
  if (name.size() <= room) return std::string(name);
  const auto dot = name.rfind('.');
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  if (ext.size() > 16 || ext.size() >= room) ext = {};
  const std::string_view stem = name.substr(0, name.size() - ext.size());
  std::size_t end = room - ext.size();
  while (end > 0 && (static_cast<unsigned char>(stem[end]) & 0xC0) == 0x80) --end;
  return std::string(stem.substr(0, end)) + std::string(ext);
}

bool IsOwnTemporaryName(std::string_view n) {
  if (n.size() < 3 || n.front() != '.') return false;
  // POSIX: .NAME.XXXXXX
  if (n.size() >= 9 && n[n.size() - 7] == '.') {
    bool six = true;
    for (std::size_t i = n.size() - 6; i < n.size(); ++i) six = six && IsAlnum(n[i]);
    if (six) return OwnFileName(n.substr(1, n.size() - 8));
  }
  // Windows: .NAME.PID.N.tmp
  if (n.size() > 5 && n.substr(n.size() - 4) == ".tmp") {
    const std::string_view rest = n.substr(1, n.size() - 5);  // NAME.PID.N
    const auto dotN = rest.rfind('.');
    if (dotN == std::string_view::npos || !IsDigits(rest.substr(dotN + 1))) return false;
    const auto dotPid = rest.rfind('.', dotN == 0 ? 0 : dotN - 1);
    return dotPid != std::string_view::npos && dotPid > 0 && IsDigits(rest.substr(dotPid + 1, dotN - dotPid - 1)) &&
           OwnFileName(rest.substr(0, dotPid));
  }
  return false;
}

void RemoveStaleTemporaries(const std::filesystem::path& folder, std::chrono::minutes age) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const auto before = fs::file_time_type::clock::now() - age;
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code e;
    if (!IsOwnTemporaryName(it->path().filename().string()) || !it->is_regular_file(e) || e) continue;
    const auto written = it->last_write_time(e);
    if (!e && written < before) stale.push_back(it->path());
  }
  for (const auto& p : stale) fs::remove(p, ec);
}

}  // namespace statvtk
