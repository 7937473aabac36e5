// The message log window.
#include "app/log_window.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/path_text.hpp"
#include "app/app_services.hpp"
#include "app/run_log.hpp"
#include "app/ui_seam.hpp"
#include "base/program_home.hpp"

namespace statvtk::app {

TextPane MakeTextPane(QWidget* window) {
  auto* box = new QVBoxLayout(window);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  TextPane pane;
  pane.bar = new QToolBar(window);
  pane.bar->setIconSize(QSize(16, 16));
  box->addWidget(pane.bar);
  pane.view = new QPlainTextEdit(window);
  pane.view->setReadOnly(true);
  pane.view->setLineWrapMode(QPlainTextEdit::NoWrap);
  box->addWidget(pane.view);
  return pane;
}

LogWindow::LogWindow(AppServices& app, QWidget* parent) : QWidget(parent), app_(app) {
  setWindowTitle(QStringLiteral("Сообщения"));
  const TextPane pane = MakeTextPane(this);
  save_ = pane.bar->addAction(style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Сохранить"));
  save_->setToolTip(QStringLiteral("Сохранить в текстовый файл"));
  clear_ = pane.bar->addAction(style()->standardIcon(QStyle::SP_DialogResetButton), QStringLiteral("Очистить"));
  clear_->setToolTip(QStringLiteral("Очистить"));
  memo_ = pane.view;
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  connect(save_, &QAction::triggered, this, &LogWindow::Save);
  connect(clear_, &QAction::triggered, this, &LogWindow::Clear);
  resize(369, 250);
  run_ = std::make_unique<RunLog>(LogsFolder(app_.Home()), LocalNow());
}

LogWindow::~LogWindow() = default;

std::filesystem::path LogWindow::RunFile() const { return run_->Path(); }

void LogWindow::AddMessage(const QString& text) {
  // A message of several lines (a modem's answer, a failure and its cause)
  // is a stamped line each; a line break is never shown raw, and a blank
  // line (the modem dialogue's spacing) would be a time alone: left out.
  static const QRegularExpression breaks(QStringLiteral("[\r\n]+"));
  for (const QString& line : text.split(breaks))
    if (!line.trimmed().isEmpty()) AddLine(line);
}

void LogWindow::AddLine(const QString& text) {
  log_.AddMessage(text.toStdString());
  // The newest line stays in view unless the user has scrolled up to read.
  QScrollBar* bar = memo_->verticalScrollBar();
  const bool following = bar->value() >= bar->maximum();
  memo_->appendPlainText(QString::fromStdString(log_.Lines().back()));
  // The run's file takes each line; a file that cannot be written is said once, here only.
  if (const QString why = run_->Append(log_.Lines().back()); !why.isEmpty()) {
    log_.AddMessage(why.toStdString());
    memo_->appendPlainText(QString::fromStdString(log_.Lines().back()));
  }
  if (following) ShowNewest();
}

void LogWindow::ShowNewest() {
  memo_->moveCursor(QTextCursor::End);
  memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
  memo_->horizontalScrollBar()->setValue(0);
}

int LogWindow::NewestLinesWidth(int lines) const {
  int widest = 0;
  QTextBlock b = memo_->document()->lastBlock();
  for (int i = 0; i < lines && b.isValid(); ++i, b = b.previous())
    widest = std::max(widest, memo_->fontMetrics().horizontalAdvance(b.text()));
  // The frame, the margins and the vertical scroll bar.
  return widest + memo_->verticalScrollBar()->sizeHint().width() + 2 * memo_->frameWidth() + 16;
}

void LogWindow::Clear() {
  log_.Clear();
  memo_->clear();
}

void LogWindow::Save() {
  const auto proposed = ProposedLogPath(app_.Home(), LocalNow());
  const QString name = app_.Ui().SaveFileName(this, QStringLiteral("Сохранить протокол"), PathText(proposed),
                                              QStringLiteral("Файлы протоколов (*.log)"));
  if (name.isEmpty()) return;
  if (const Result<void> saved = log_.SaveTo(PathOf(name)); !saved) {
    // The log's own message says what failed and why; the file is named once.
    QString text = QString::fromStdString(saved.error().reason);
    if (!text.contains(name)) text += QStringLiteral(" (") + name + QStringLiteral(")");
    app_.Ui().Warn(this, QStringLiteral("Сообщения"), text);
  }
}

void LogWindow::closeEvent(QCloseEvent* event) {
  if (allowClose_) {
    event->accept();
    return;
  }
  event->ignore();
  if (parentWidget()) parentWidget()->showMinimized();
  else showMinimized();
}

}  // namespace statvtk::app
