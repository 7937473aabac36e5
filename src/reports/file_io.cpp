// Whole-file reading and atomic writing for the report files, over the base
// layer's file seams; their errors name the path.
#include "reports/file_io.hpp"

#include "base/atomic_file.hpp"
#include "base/file_reader.hpp"

namespace statvtk {

namespace {

Error NamingThePath(Error error, const std::filesystem::path& path) {
  error.reason = path.string() + ": " + error.reason;
  return error;
}

}  // namespace

Result<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path, std::uintmax_t limit) {
  Result<std::vector<std::uint8_t>> r = ReadRegularFile(path, limit);
  if (!r) return NamingThePath(std::move(r.error()), path);
  return r;
}

Result<void> WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  Result<void> written = AtomicWriteFile(path, {bytes});
  if (!written) return NamingThePath(std::move(written.error()), path);
  return written;
}

}  // namespace statvtk
