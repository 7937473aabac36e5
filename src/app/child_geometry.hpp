// Each kind of child window remembers where it was and how large
// (StatVTK.ini, section Windows, keys <Kind>Left, <Kind>Top, <Kind>Width,
// <Kind>Height, the kind being the window's class: StatWindow, CurrentWindow...).
#pragma once

#include "base/error.hpp"
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <optional>
#include <vector>

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
QRect CascadeRect(const QRect& area, const std::optional<QPoint>& last, const QSize& size, int step = 24);
// "Разложить каскадом": `count` windows of the given sizes, each one step
// below and right of the one before, so that every title bar shows; a window
// that would keep less than two thirds of its size starts a new cascade at
// the corner. The sizes are kept where they fit.
std::vector<QRect> CascadeAll(const QRect& area, const std::vector<QSize>& sizes, int step);
// The main window's place and size (without its frame) for `wanted`, so that
// the window with its frame lies inside the screen's `available` area: no
// larger than the area, then moved in.
QRect FitWindowToScreen(const QRect& wanted, const QRect& available, const QMargins& frame);

// Stores the sub-window's place and size for its kind (not while minimised or
// maximised); the first failed write's error.
Result<void> SaveChildGeometry(IniFile& ini, const QMdiSubWindow& sub);

}  // namespace statvtk::app
