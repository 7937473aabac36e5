// The recent-files list (StatVTK.ini, section Windows, keys Recent1..Recent8),
// newest first, and the "Последние файлы" menu that offers it.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "base/error.hpp"

class QMenu;

namespace statvtk {
class IniFile;
}

namespace statvtk::app {

class RecentFiles {
 public:
  RecentFiles(IniFile& ini, QMenu& menu, std::function<void(const QString&)> open);
  QStringList List() const;
  // Puts `path` first (once) and refills the menu.
  // The first failed write's error when the list could not be stored.
  Result<void> Add(const QString& path);
  void FillMenu();

 private:
  IniFile& ini_;
  QMenu& menu_;
  std::function<void(const QString&)> open_;
};

}  // namespace statvtk::app
