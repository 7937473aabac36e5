// Reading a whole regular file in one go (statistics files, report
// templates and workbooks); the POSIX and Win32 sides sit in file_reader_*.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace statvtk {

enum class FileReadFault {
  None,
  System,      // the system refused: errorCode holds its code (SystemErrorText)
  NotRegular,  // a folder, a device or another non-file
  TooLarge,    // more than the caller's limit
};

struct FileReadResult {
  std::vector<std::uint8_t> bytes;
  FileReadFault fault = FileReadFault::None;
  int errorCode = 0;
};

// The file's bytes when it is a regular file of at most `limit` bytes.
FileReadResult ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit);

}  // namespace statvtk
