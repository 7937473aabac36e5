#include "app/child_area.hpp"

#include <QEvent>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>

#include <algorithm>

#include "app/child_geometry.hpp"
#include "app/child_windows.hpp"
#include "app/log_window.hpp"
#include "stats/stat_file.hpp"

namespace statvtk::app {

namespace {
// While the area is not on screen (a window not shown yet) nothing is cut:
// the places are taken as they come and pulled in when it shows.
constexpr QRect kUnbounded(0, 0, 8000, 8000);
}  // namespace

ChildArea::ChildArea(QMdiArea& mdi, IniFile& ini, QObject* parent) : QObject(parent), mdi_(mdi), ini_(ini) {
  mdi_.viewport()->installEventFilter(this);
}

QRect ChildArea::Visible() const { return mdi_.isVisible() ? mdi_.viewport()->rect() : kUnbounded; }

QMdiSubWindow* ChildArea::Add(QWidget* w) {
  w->setAttribute(Qt::WA_DeleteOnClose);
  const QSize inner = w->testAttribute(Qt::WA_Resized) ? w->size() : w->sizeHint();
  QMdiSubWindow* sub = mdi_.addSubWindow(w);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  w->installEventFilter(this);
  // Queued: the window is half gone while it signals its destruction.
  connect(w, &QObject::destroyed, this, &ChildArea::changed, Qt::QueuedConnection);
  const QRect area = Visible();
  // The place its kind had last serves the first such window; while another
  // of its kind is open, the new one cascades from the last opened (with the
  // remembered size), so that no window hides another's title.
  const auto stored = StoredChildGeometry(ini_, *sub);
  if (stored && !OthersOfKind(*sub)) {
    sub->setGeometry(FitInside(*stored, area));
  } else {
    // The title bar and borders around the content.
    const QSize frame = (sub->sizeHint() - w->sizeHint()).expandedTo(QSize(0, 0));
    const QSize size = (stored ? stored->size() : inner + frame).boundedTo(area.size());
    sub->setGeometry(FitInside(CascadeRect(area, CascadeFrom(*sub), size, CascadeStep()), area));
  }
  // Never exactly over another window: its title would be hidden.
  for (int tries = 0; tries < 8 && CoversATitle(*sub); ++tries)
    sub->setGeometry(FitInside(CascadeRect(area, sub->pos(), sub->size(), CascadeStep()), area));
  last_ = sub;
  sub->show();
  mdi_.setActiveSubWindow(sub);
  Q_EMIT changed();
  return sub;
}

void ChildArea::PullInside(QMdiSubWindow& sub) const { KeepInside(sub); }

int ChildArea::CascadeStep() const {
  // One title bar and a little: every title of a cascade shows.
  return std::max(24, mdi_.style()->pixelMetric(QStyle::PM_TitleBarHeight) + 6);
}

bool ChildArea::OthersOfKind(const QMdiSubWindow& sub) const {
  for (QMdiSubWindow* other : mdi_.subWindowList())
    if (other != &sub && other->widget() && sub.widget() && other->isVisible() &&
        other->widget()->metaObject() == sub.widget()->metaObject())
      return true;
  return false;
}

std::optional<QPoint> ChildArea::CascadeFrom(const QMdiSubWindow& sub) const {
  // The window opened last, else the active one (the messages aside).
  QMdiSubWindow* from = last_ && last_ != &sub && last_->isVisible() ? last_.data() : mdi_.activeSubWindow();
  if (!from || from == &sub || !from->isVisible() || from->isMinimized() || qobject_cast<LogWindow*>(from->widget()))
    return std::nullopt;
  return from->pos();
}

bool ChildArea::CoversATitle(const QMdiSubWindow& sub) const {
  for (QMdiSubWindow* other : mdi_.subWindowList())
    if (other != &sub && other->isVisible() && !other->isMinimized() && other->pos() == sub.pos()) return true;
  return false;
}

void ChildArea::Cascade() {
  std::vector<QMdiSubWindow*> shown;
  std::vector<QSize> sizes;
  for (QMdiSubWindow* sub : mdi_.subWindowList(QMdiArea::StackingOrder)) {
    if (!sub->isVisible() || sub->isMinimized()) continue;
    if (sub->isMaximized()) sub->showNormal();
    shown.push_back(sub);
    sizes.push_back(sub->size());
  }
  const std::vector<QRect> places = CascadeAll(Visible(), sizes, CascadeStep());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    shown[i]->setGeometry(places[i]);
    shown[i]->raise();
  }
  if (!shown.empty()) mdi_.setActiveSubWindow(shown.back());
}

void ChildArea::CloseAll() {
  for (QMdiSubWindow* sub : mdi_.subWindowList()) {
    if (qobject_cast<LogWindow*>(sub->widget())) sub->showMinimized();
    else sub->close();
  }
}

Result<void> ChildArea::SaveAll() {
  Result<void> first;
  for (QMdiSubWindow* sub : mdi_.subWindowList())
    if (Result<void> saved = SaveChildGeometry(ini_, *sub); !saved && first) first = std::move(saved);
  return first;
}

ActiveChild ChildArea::ActiveKind() const {
  QMdiSubWindow* sub = mdi_.activeSubWindow();
  if (!sub || !sub->widget()) return ActiveChild::None;
  if (auto* stat = dynamic_cast<StatChild*>(sub->widget()))
    return stat->Loaded() ? ActiveChild::LoadedStatistics : ActiveChild::Statistics;
  if (dynamic_cast<CurrentChild*>(sub->widget())) return ActiveChild::Current;
  return ActiveChild::Other;
}

StatChild* ChildArea::ActiveStat() const {
  QMdiSubWindow* sub = mdi_.activeSubWindow();
  return sub ? dynamic_cast<StatChild*>(sub->widget()) : nullptr;
}

CurrentChild* ChildArea::ActiveCurrent() const {
  QMdiSubWindow* sub = mdi_.activeSubWindow();
  return sub ? dynamic_cast<CurrentChild*>(sub->widget()) : nullptr;
}

std::vector<CurrentChild*> ChildArea::CurrentWindows() const {
  std::vector<CurrentChild*> v;
  for (QMdiSubWindow* sub : mdi_.subWindowList())
    if (auto* c = dynamic_cast<CurrentChild*>(sub->widget())) v.push_back(c);
  return v;
}

StatChild* ChildArea::StatWindowFor(DeviceType type, AppServices& app) {
  StatChild* active = ActiveStat();
  if (active && !active->Loaded() && FileExtension(active->Model()) == FileExtension(type)) return active;
  StatChild* made = MakeStatChild(type, app);
  if (!made) return nullptr;
  Add(made->Widget());
  return made;
}

bool ChildArea::eventFilter(QObject* watched, QEvent* event) {
  // The area changed its size (the main window shown, resized): every window
  // stays inside what is visible.
  if (watched == mdi_.viewport()) {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
      for (QMdiSubWindow* sub : mdi_.subWindowList()) KeepInside(*sub);
    return false;
  }
  // A child window closing leaves its place and size for the next of its kind.
  if (event->type() == QEvent::Close) {
    if (auto* w = qobject_cast<QWidget*>(watched))
      if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
        if (Result<void> saved = SaveChildGeometry(ini_, *sub); !saved && closeFailure_) closeFailure_(saved);
  }
  // Escape closes a child window together with its frame.
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    if (auto* w = qobject_cast<QWidget*>(watched); w && qobject_cast<QMdiSubWindow*>(w->parentWidget())) {
      w->parentWidget()->close();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace statvtk::app
