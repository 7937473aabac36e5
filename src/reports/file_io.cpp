// Whole-file reading and atomic writing for the report files, over the
// link layer's file seams.
#include "reports/file_io.hpp"

#include "base/atomic_file.hpp"
#include "base/file_reader.hpp"
#include "base/system_error.hpp"

namespace statvtk {

bool ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>* bytes, std::string* error,
                   std::uintmax_t limit) {
  FileReadResult r = ReadRegularFile(path, limit);
  switch (r.fault) {
    case FileReadFault::None:
      *bytes = std::move(r.bytes);
      return true;
    case FileReadFault::System: *error = path.string() + ": " + SystemErrorText(r.errorCode); break;
    case FileReadFault::NotRegular: *error = path.string() + ": " + NonRegularText(r.kind); break;
    case FileReadFault::TooLarge: *error = path.string() + ": file too large"; break;
  }
  bytes->clear();
  return false;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, std::string* error) {
  int err = 0;
  if (AtomicWriteFile(path, {bytes}, &err)) return true;
  *error = path.string() + ": " + SystemErrorText(err);
  return false;
}

}  // namespace statvtk
