// The frame's status bar: panel 0 the current operation, 1 the connection,
// 2 the device text, 3 free, and the progress bar, shown only while a read
// runs. A panel is at least its classic width and grows with its text, so a
// value is never cut; its whole text is also its tool tip. Panel 0 (a file's
// path, a message) grows only as far as the bar leaves room for the others,
// and a longer text loses its middle ("…") there, fitted again whenever the
// bar changes its width, so that it never covers the panels beside it.
#pragma once

#include <QObject>
#include <QString>
#include <array>

class QLabel;
class QProgressBar;
class QStatusBar;

namespace statvtk::app {

class StatusPanels : public QObject {
 public:
  explicit StatusPanels(QStatusBar& bar);

  void SetText(int panel, const QString& text);
  QString Text(int panel) const;
  QLabel* Panel(int panel) const;

  void ShowProgress(int pos, int max);  // shows the bar
  void HideProgress();                  // resets and hides it
  QProgressBar* Progress() const { return progress_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fit(int panel);

  QStatusBar& bar_;
  std::array<QLabel*, 4> panels_{};
  std::array<QString, 4> texts_;
  QProgressBar* progress_ = nullptr;
};

}  // namespace statvtk::app
