#include "app/child_activation.hpp"

#include <QMdiSubWindow>
#include <QVariant>

#include "app/app_services.hpp"

namespace statvtk::app {

void FollowActivation(QWidget* child, AppServices& app) {
  auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
  if (!sub || child->property("statvtkFollowed").toBool()) return;
  child->setProperty("statvtkFollowed", true);
  QObject::connect(sub, &QMdiSubWindow::windowStateChanged, child,
                   [child, &app](Qt::WindowStates before, Qt::WindowStates now) {
                     if (now.testFlag(Qt::WindowActive) && !before.testFlag(Qt::WindowActive))
                       app.ChildActivated(child);
                   });
  if (sub->windowState().testFlag(Qt::WindowActive)) app.ChildActivated(child);
}

}  // namespace statvtk::app

namespace statvtk::app {

void CloseChild(QWidget* child) {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget()))
    sub->close();
  else
    child->close();
}

}  // namespace statvtk::app
