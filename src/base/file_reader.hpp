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

// What a path that is not a regular file is.
enum class NonRegularKind { Other, Folder, Fifo, Socket, Device };

struct FileReadResult {
  std::vector<std::uint8_t> bytes;
  FileReadFault fault = FileReadFault::None;
  int errorCode = 0;
  NonRegularKind kind = NonRegularKind::Other;  // with NotRegular
};

// "это папка", "это канал FIFO, а не обычный файл", ...: the words for a refused non-file.
const char* NonRegularText(NonRegularKind kind);

// The file's bytes when it is a regular file of at most `limit` bytes. A FIFO
// or a device is refused at once (the open does not wait for a writer).

FileReadResult ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit);

}  // namespace statvtk
