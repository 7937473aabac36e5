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

std::optional<QRect> StoredChildGeometry(const IniFile& ini, const QMdiSubWindow& sub) {
  const std::string kind = KindOf(sub);
  if (kind.empty() || !ini.ValueExists(kWindows, kind + "Width")) return std::nullopt;
  const auto value = [&](const char* key, long long fallback) {
    return static_cast<int>(ini.ReadInteger(kWindows, kind + key, fallback));
  };
  return QRect(std::clamp(value("Left", 0), -8000, 8000), std::clamp(value("Top", 0), -8000, 8000),
               std::clamp(value("Width", 400), 120, 8000), std::clamp(value("Height", 300), 80, 8000));
}

bool RestoreChildGeometry(const IniFile& ini, QMdiSubWindow& sub) {
  const auto stored = StoredChildGeometry(ini, sub);
  if (!stored) return false;
  sub.setGeometry(*stored);
  return true;
}

QRect FitInside(const QRect& wanted, const QRect& area) {
  if (area.isEmpty()) return wanted;
  QRect r(wanted.topLeft(), wanted.size().boundedTo(area.size()));
  if (r.right() > area.right()) r.moveRight(area.right());
  if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
  if (r.left() < area.left()) r.moveLeft(area.left());
  if (r.top() < area.top()) r.moveTop(area.top());
  return r;
}

void KeepInside(QMdiSubWindow& sub) {
  const QWidget* area = sub.parentWidget();
  if (!area || !area->isVisible() || sub.isMinimized() || sub.isMaximized()) return;
  const QRect fitted = FitInside(sub.geometry(), area->rect());
  if (fitted != sub.geometry()) sub.setGeometry(fitted);
}

QRect FitWindowToScreen(const QRect& wanted, const QRect& available, const QMargins& frame) {
  if (available.isEmpty()) return wanted;
  const QRect withFrame = wanted.marginsAdded(frame);
  return FitInside(withFrame, available).marginsRemoved(frame);
}

QRect CascadeRect(const QRect& area, const std::optional<QPoint>& last, const QSize& size, int kStep) {
  const QSize wanted = area.isEmpty() ? size : size.boundedTo(area.size());
  if (!last) return QRect(area.topLeft(), wanted);
  const QPoint at = *last + QPoint(kStep, kStep);
  const QSize room(area.right() - at.x() + 1, area.bottom() - at.y() + 1);
  const QSize fitted = wanted.boundedTo(room);
  if (fitted.width() * 3 < wanted.width() * 2 || fitted.height() * 3 < wanted.height() * 2)
    return QRect(area.topLeft(), wanted);
  return QRect(at, fitted);
}

std::vector<QRect> CascadeAll(const QRect& area, const std::vector<QSize>& sizes, int step) {
  std::vector<QRect> out;
  std::optional<QPoint> last;
  for (const QSize& size : sizes) {
    const QRect r = CascadeRect(area, last, size, step);
    out.push_back(r);
    last = r.topLeft();
  }
  return out;
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
