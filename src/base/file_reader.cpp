#include "base/file_reader.hpp"

namespace statvtk {

const char* NonRegularText(NonRegularKind kind) {
  switch (kind) {
    case NonRegularKind::Folder: return "это папка, а не файл";
    case NonRegularKind::Fifo: return "это канал FIFO, а не обычный файл";
    case NonRegularKind::Socket: return "это сокет, а не обычный файл";
    case NonRegularKind::Device: return "это устройство, а не обычный файл";
    case NonRegularKind::Other: break;
  }
  return "это не обычный файл";
}

Error NotRegularFailure(NonRegularKind kind) { return MakeError(ErrorCode::NotRegularFile, NonRegularText(kind)); }

Error TooLargeFailure() { return MakeError(ErrorCode::FileTooLarge, "file too large"); }

}  // namespace statvtk
