// The one road from the desktop program to the user's answers and to other
// programs: message boxes, file and folder dialogs, our own modal dialogs and
// handing a file or link to the desktop. The program uses DesktopUi; tests
// install their own answers so nothing waits for a person or starts a program.
#pragma once

#include <QString>
#include <QUrl>

class QDialog;
class QWidget;

namespace statvtk::app {

class UiSeam {
 public:
  virtual ~UiSeam() = default;
  // Message boxes ("OK" only).
  virtual void Inform(QWidget* parent, const QString& title, const QString& text) = 0;
  virtual void Warn(QWidget* parent, const QString& title, const QString& text) = 0;
  // A yes/no question; true for yes.
  virtual bool Ask(QWidget* parent, const QString& title, const QString& text) = 0;
  // File dialogs; an empty string when cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter) = 0;
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& proposed,
                               const QString& filter) = 0;
  virtual QString FolderName(QWidget* parent, const QString& caption, const QString& folder) = 0;
  // Runs one of our modal dialogs; the QDialog::DialogCode it ended with.
  virtual int RunDialog(QDialog& dialog) = 0;
  // Hands a file or a link to the desktop (spreadsheet program, browser).
  virtual bool OpenExternally(const QUrl& url) = 0;
};

// The real thing: QMessageBox, QFileDialog, QDialog::exec, QDesktopServices.
class DesktopUi : public UiSeam {
 public:
  void Inform(QWidget* parent, const QString& title, const QString& text) override;
  void Warn(QWidget* parent, const QString& title, const QString& text) override;
  bool Ask(QWidget* parent, const QString& title, const QString& text) override;
  QString OpenFileName(QWidget* parent, const QString& caption, const QString& folder, const QString& filter) override;
  QString SaveFileName(QWidget* parent, const QString& caption, const QString& proposed,
                       const QString& filter) override;
  QString FolderName(QWidget* parent, const QString& caption, const QString& folder) override;
  int RunDialog(QDialog& dialog) override;
  bool OpenExternally(const QUrl& url) override;
};

}  // namespace statvtk::app
