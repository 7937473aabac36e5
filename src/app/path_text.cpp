#include "app/path_text.hpp"

#include <QFile>

namespace statvtk::app {

std::filesystem::path PathOf(const QString& text) {
#ifdef _WIN32
  return std::filesystem::path(text.toStdWString());
#else
  return std::filesystem::path(QFile::encodeName(text).toStdString());
#endif
}

QString PathText(const std::filesystem::path& path) {
#ifdef _WIN32
  return QString::fromStdWString(path.wstring());
#else
  return QFile::decodeName(QByteArray::fromStdString(path.string()));
#endif
}

}  // namespace statvtk::app
