#include "app/recent_files.hpp"

#include <QAction>
#include <QMenu>
#include <string>

#include "base/ini_file.hpp"

namespace statvtk::app {

namespace {
constexpr const char* kWindows = "Windows";
constexpr int kRecentCount = 8;
}  // namespace

RecentFiles::RecentFiles(IniFile& ini, QMenu& menu, std::function<void(const QString&)> open)
    : ini_(ini), menu_(menu), open_(std::move(open)) {
  FillMenu();
}

QStringList RecentFiles::List() const {
  QStringList list;
  for (int i = 1; i <= kRecentCount; ++i) {
    const std::string v = ini_.ReadString(kWindows, "Recent" + std::to_string(i), "");
    if (!v.empty()) list << QString::fromStdString(v);
  }
  return list;
}

Result<void> RecentFiles::Add(const QString& path) {
  QStringList list = List();
  list.removeAll(path);
  list.prepend(path);
  while (list.size() > kRecentCount) list.removeLast();
  Result<void> written;
  for (int i = 0; i < kRecentCount; ++i)
    KeepFirstError(written, ini_.WriteString(kWindows, "Recent" + std::to_string(i + 1),
                                             i < list.size() ? list[i].toStdString() : ""));
  FillMenu();
  return written;
}

void RecentFiles::FillMenu() {
  menu_.clear();
  const QStringList list = List();
  for (int i = 0; i < list.size(); ++i) {
    QAction* a = menu_.addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(list[i]));
    QObject::connect(a, &QAction::triggered, &menu_, [open = open_, path = list[i]] { open(path); });
  }
  menu_.setEnabled(!list.isEmpty());
}

}  // namespace statvtk::app
