// Each kind of child window remembers where it was and how large
// (StatVTK.ini, section Windows, keys <Kind>Left, <Kind>Top, <Kind>Width,
// <Kind>Height, the kind being the window's class: StatWindow, CurrentWindow...).
#pragma once

#include "base/error.hpp"
#include <QPoint>
#include <QRect>
#include <optional>

class QMdiSubWindow;

namespace statvtk {
class IniFile;
}

namespace statvtk::app {

// Where its kind was last (place and size), when stored.
std::optional<QRect> StoredChildGeometry(const IniFile& ini, const QMdiSubWindow& sub);
// Puts the sub-window where its kind was last; false when nothing is stored.
bool RestoreChildGeometry(const IniFile& ini, QMdiSubWindow& sub);

// `wanted` pulled inside `area`: no larger than the area, then moved (never
// shrunk further) until every edge lies inside.
QRect FitInside(const QRect& wanted, const QRect& area);
// Pulls a shown sub-window inside its area's visible part (nothing while the
// area is not on screen).
void KeepInside(QMdiSubWindow& sub);

// The place and size of a new window of `size` (no larger than `area`): one
// cascade step below and right of `last`, shrunk to stay inside when it must;
// the area's corner when there is no last window, or when the step would
// leave less than two thirds of the window's size.
QRect CascadeRect(const QRect& area, const std::optional<QPoint>& last, const QSize& size);
// Stores the sub-window's place and size for its kind (not while minimised or
// maximised); the first failed write's error.
Result<void> SaveChildGeometry(IniFile& ini, const QMdiSubWindow& sub);

}  // namespace statvtk::app
