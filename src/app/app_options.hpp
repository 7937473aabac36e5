// The desktop program's command line: --home DIR, then an optional
// statistics file to open.
#pragma once

#include <QStringList>

#include <filesystem>
#include <optional>

namespace statvtk::app {

struct AppOptions {
  std::optional<std::filesystem::path> home;
  QStringList files;  // the first names the file opened at start
  bool help = false;
  bool version = false;
  QString error;  // a usage error
};

// `arguments` without the program name.
AppOptions ParseAppOptions(const QStringList& arguments);

}  // namespace statvtk::app
