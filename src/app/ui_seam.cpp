// The desktop's own message boxes, file dialogs and hand-over to other programs.
#include "app/ui_seam.hpp"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
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

namespace {

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// Whether the desktop has a program for a file: xdg-open runs on its own and
// Qt reports success even when it finds none. Without xdg-mime (or when it
// does not answer) the answer is yes, and xdg-open is left to try.
bool DesktopHasProgramFor(const QString& file) {
  if (QFileInfo(file).isDir()) return true;
  const QString type = QMimeDatabase().mimeTypeForFile(file).name();
  QProcess query;
  query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
  if (!query.waitForFinished(3000) || query.exitStatus() != QProcess::NormalExit) return true;
  return !query.readAllStandardOutput().trimmed().isEmpty();
}
#else
// Windows reports a file type without a program itself.
bool DesktopHasProgramFor(const QString&) { return true; }
#endif

}  // namespace

bool DesktopUi::OpenExternally(const QUrl& url) {
  if (url.isLocalFile() && !DesktopHasProgramFor(url.toLocalFile())) return false;
  return QDesktopServices::openUrl(url);
}

}  // namespace statvtk::app
