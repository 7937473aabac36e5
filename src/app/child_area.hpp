// The multi-document area's child windows: each opens fully inside the
// visible area, sized to its content and cascading from the last one opened
// (a remembered place is pulled back in); the kind of the active one; the
// current-readings windows; "Закрыть все"; and Escape or closing a window,
// which leaves its place for the next of its kind.
#pragma once

#include <functional>
#include <optional>

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <vector>

#include "base/error.hpp"
#include "app/command_state.hpp"
#include "stats/device_type.hpp"

class QMdiArea;
class QMdiSubWindow;

class QWidget;

namespace statvtk {
class IniFile;
}

namespace statvtk::app {

class AppServices;
class CurrentChild;
class StatChild;

class ChildArea : public QObject {
  Q_OBJECT
 public:
  ChildArea(QMdiArea& mdi, IniFile& ini, QObject* parent = nullptr);

  // Adds `w` (deleted when closed) in its place and makes it active.
  QMdiSubWindow* Add(QWidget* w);
  // Puts a window inside the visible area (its own size kept where it fits).
  void PullInside(QMdiSubWindow& sub) const;
  // The visible part of the area, in the coordinates of its windows.
  QRect Visible() const;

  // "Разложить каскадом": the shown windows one title below the other, in
  // their stacking order (the active one ends on top).
  void Cascade();

  // Every window but "Сообщения", which only goes out of the way.
  void CloseAll();
  Result<void> SaveAll();  // every window's place; the first failed write
  // A window closing could not leave its place: told as every failed settings write is.
  void OnCloseFailure(std::function<void(const Result<void>&)> f) { closeFailure_ = std::move(f); }

  ActiveChild ActiveKind() const;
  StatChild* ActiveStat() const;
  CurrentChild* ActiveCurrent() const;
  std::vector<CurrentChild*> CurrentWindows() const;
  // The active empty window of the model's file type, or a new one.
  StatChild* StatWindowFor(DeviceType type, AppServices& app);
  QMdiArea& Mdi() const { return mdi_; }

 Q_SIGNALS:
  // A child window was added or has gone.
  void changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int CascadeStep() const;
  // Where a new window's cascade starts: the window opened last, else the active one.
  std::optional<QPoint> CascadeFrom(const QMdiSubWindow& sub) const;
  // Another shown window has its corner (and so its title) where `sub` has.
  bool CoversATitle(const QMdiSubWindow& sub) const;
  // Another window of the same class is shown.
  bool OthersOfKind(const QMdiSubWindow& sub) const;

  QMdiArea& mdi_;
  IniFile& ini_;
  std::function<void(const Result<void>&)> closeFailure_;
  QPointer<QMdiSubWindow> last_;  // the window opened last, for the cascade
};

}  // namespace statvtk::app
