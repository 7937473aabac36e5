// Tells the main window when a child window becomes the active sub-window of
// its multi-document area (so the frame enables the commands that apply).
#pragma once

class QWidget;

namespace statvtk::app {

class AppServices;

// Call once the child sits in its QMdiSubWindow (from showEvent); further
// calls do nothing. A child outside a multi-document area is not followed.
void FollowActivation(QWidget* child, AppServices& app);

}  // namespace statvtk::app

namespace statvtk::app {

// Closes the child together with its sub-window (Escape in a child window).
void CloseChild(QWidget* child);

}  // namespace statvtk::app
