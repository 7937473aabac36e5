#include "app/child_geometry.hpp"

#include <QMdiSubWindow>
#include <algorithm>
#include <string>

#include "base/ini_file.hpp"

namespace statvtk::app {

namespace {

constexpr const char* kWindows = "Windows";

std::string KindOf(const QMdiSubWindow& sub) {
  if (!sub.widget()) return {};
  const std::string name = sub.widget()->metaObject()->className();
  const auto colon = name.rfind(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

}  // namespace

bool RestoreChildGeometry(const IniFile& ini, QMdiSubWindow& sub) {
  const std::string kind = KindOf(sub);
  if (kind.empty() || !ini.ValueExists(kWindows, kind + "Width")) return false;
  const auto value = [&](const char* key, long long fallback) {
    return static_cast<int>(ini.ReadInteger(kWindows, kind + key, fallback));
  };
  sub.setGeometry(std::clamp(value("Left", 0), 0, 8000), std::clamp(value("Top", 0), 0, 8000),
                  std::clamp(value("Width", 400), 120, 8000), std::clamp(value("Height", 300), 80, 8000));
  return true;
}

Result<void> SaveChildGeometry(IniFile& ini, const QMdiSubWindow& sub) {
  const std::string kind = KindOf(sub);
  if (kind.empty() || sub.isMinimized() || sub.isMaximized()) return {};
  const QRect g = sub.geometry();
  Result<void> written;
  KeepFirstError(written, ini.WriteInteger(kWindows, kind + "Left", g.x()));
  KeepFirstError(written, ini.WriteInteger(kWindows, kind + "Top", g.y()));
  KeepFirstError(written, ini.WriteInteger(kWindows, kind + "Width", g.width()));
  KeepFirstError(written, ini.WriteInteger(kWindows, kind + "Height", g.height()));
  return written;
}

}  // namespace statvtk::app
