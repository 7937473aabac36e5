// How the desktop tells a failed write of StatVTK.ini: every write site hands
// the error to one function (MainWindow::SettingsNotWritten), which puts
// "Не удалось записать настройки: " + the reason into the message log and
// status panel 0. A dialog whose OK wrote the settings also stays open with
// that text, as it does for any value it refuses.
#pragma once

#include <QString>
#include <functional>

#include "base/error.hpp"

namespace statvtk::app {

using SettingsFailure = std::function<void(const Error&)>;

inline QString SettingsFailureText(const Error& e) {
  return QStringLiteral("Не удалось записать настройки: ") + QString::fromStdString(e.reason);
}

// Hands a failed write to `failed` (when set); true when it was written.
inline bool SettingsWritten(const Result<void>& written, const SettingsFailure& failed) {
  if (written) return true;
  if (failed) failed(written.error());
  return false;
}

}  // namespace statvtk::app
