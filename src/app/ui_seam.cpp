// The desktop's own message boxes, file dialogs and hand-over to other programs.
#include "app/ui_seam.hpp"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace statvtk::app {

void DesktopUi::Inform(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::information(parent, title, text);
}

void DesktopUi::Warn(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::warning(parent, title, text);
}

bool DesktopUi::Ask(QWidget* parent, const QString& title, const QString& text) {
  return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
         QMessageBox::Yes;
}

QString DesktopUi::OpenFileName(QWidget* parent, const QString& caption, const QString& folder, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString DesktopUi::SaveFileName(QWidget* parent, const QString& caption, const QString& proposed,
                                const QString& filter) {
  return QFileDialog::getSaveFileName(parent, caption, proposed, filter);
}

QString DesktopUi::FolderName(QWidget* parent, const QString& caption, const QString& folder) {
  return QFileDialog::getExistingDirectory(parent, caption, folder);
}

int DesktopUi::RunDialog(QDialog& dialog) { return dialog.exec(); }

bool DesktopUi::OpenExternally(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace statvtk::app
