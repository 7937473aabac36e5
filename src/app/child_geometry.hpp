// Each kind of child window remembers where it was and how large
// (StatVTK.ini, section Windows, keys <Kind>Left, <Kind>Top, <Kind>Width,
// <Kind>Height, the kind being the window's class: StatWindow, CurrentWindow...).
#pragma once

#include "base/error.hpp"

class QMdiSubWindow;

namespace statvtk {
class IniFile;
}

namespace statvtk::app {

// Puts the sub-window where its kind was last; false when nothing is stored.
bool RestoreChildGeometry(const IniFile& ini, QMdiSubWindow& sub);
// Stores the sub-window's place and size for its kind (not while minimised or
// maximised); the first failed write's error.
Result<void> SaveChildGeometry(IniFile& ini, const QMdiSubWindow& sub);

}  // namespace statvtk::app
