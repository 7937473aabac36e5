#include "app/services_progress.hpp"

#include <QCoreApplication>

namespace statvtk::app {

void ServicesProgress::LogLine(const std::string& text) { app_.Log(QString::fromStdString(text)); }

void ServicesProgress::ShowStatus(const std::string& text) {
  app_.Status(QString::fromStdString(text));
  QCoreApplication::processEvents();
}

void ServicesProgress::SetProgressMax(int max) {
  if (max <= 0) app_.ProgressFinish();
  else app_.ProgressStart(max);
}

void ServicesProgress::SetProgressPos(int pos) {
  app_.ProgressStep(pos);
  QCoreApplication::processEvents();
}

}  // namespace statvtk::app
