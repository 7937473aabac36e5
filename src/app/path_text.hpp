// File paths between Qt's strings and the core's std::filesystem::path, by
// Qt's own conversions: UTF-16 on Windows, the file name encoding of the
// locale elsewhere (never through toStdString(), which is UTF-8 whatever the
// system says).
#pragma once

#include <QString>
#include <filesystem>

namespace statvtk::app {

std::filesystem::path PathOf(const QString& text);
QString PathText(const std::filesystem::path& path);

}  // namespace statvtk::app
