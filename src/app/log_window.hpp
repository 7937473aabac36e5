// The "Сообщения" window: the program's time-stamped messages, saved to a
// text file or cleared on request, and kept as they come in the run's own
// file in logs/ (RunLog). Made once at start; closing it minimises it.
#pragma once

#include <QWidget>
#include <memory>

#include "reports/message_log.hpp"

class QPlainTextEdit;
class QAction;
class QToolBar;

namespace statvtk::app {

class AppServices;
class RunLog;

// The body both text windows share (messages, exchange monitor): a tool bar
// of 16-pixel icons over a read-only text view without line wrapping. The
// caller fills the bar and sets the view's own options.
struct TextPane {
  QToolBar* bar = nullptr;
  QPlainTextEdit* view = nullptr;
};
TextPane MakeTextPane(QWidget* window);

class LogWindow : public QWidget {
  Q_OBJECT
 public:
  explicit LogWindow(AppServices& app, QWidget* parent = nullptr);
  ~LogWindow() override;

  // Appends "[date time]  text", a line of its own for each line of the
  // text; blank lines and an empty text add nothing.
  void AddMessage(const QString& text);
  const MessageLog& Log() const { return log_; }
  // This run's file in logs/ (empty before the first message).
  std::filesystem::path RunFile() const;
  // Scrolls to the newest line.
  void ShowNewest();
  // The width the newest `lines` lines need to be read whole.
  int NewestLinesWidth(int lines) const;
  QPlainTextEdit* Memo() const { return memo_; }

  // The two tool buttons.
  void Save();
  void Clear();
  QAction* SaveAction() const { return save_; }
  QAction* ClearAction() const { return clear_; }

  // Lets the window really close (at the program's end).
  void AllowClose() { allowClose_ = true; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AddLine(const QString& text);

  AppServices& app_;
  MessageLog log_;
  std::unique_ptr<RunLog> run_;
  QPlainTextEdit* memo_ = nullptr;
  QAction* save_ = nullptr;
  QAction* clear_ = nullptr;
  bool allowClose_ = false;
};

}  // namespace statvtk::app
