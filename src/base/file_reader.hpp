// Reading a whole regular file in one go (statistics files, report
// templates and workbooks); the POSIX and Win32 sides sit in file_reader_*.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "base/error.hpp"

namespace statvtk {

// What a path that is not a regular file is.
enum class NonRegularKind { Other, Folder, Fifo, Socket, Device };

// "это папка", "это канал FIFO, а не обычный файл", ...: the words for a refused non-file.
const char* NonRegularText(NonRegularKind kind);

// The file's bytes when it is a regular file of at most `limit` bytes. A FIFO
// or a device is refused at once (the open does not wait for a writer).
// Errors: FileSystem (the system's code and words), NotRegularFile (reason
// NonRegularText), FileTooLarge ("file too large").
Result<std::vector<std::uint8_t>> ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit);

// The errors of ReadRegularFile that are not the system's.
Error NotRegularFailure(NonRegularKind kind);
Error TooLargeFailure();

}  // namespace statvtk
