// The main window's file commands: New, Open, Save, the command-line file,
// dropped files and the recent-files list.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>

#include "app/child_windows.hpp"
#include "app/path_text.hpp"
#include "app/main_window.hpp"
#include "app/recent_files.hpp"
#include "app/settings_failure.hpp"
#include "app/ui_seam.hpp"
#include "stats/device_members.hpp"

namespace statvtk::app {

namespace {
// Every statistics file first, so the dialog shows them all at once.
const QString kFilter = QStringLiteral(
    "Файлы статистики (*.vst *.814 *.ldn);;Файлы статистики 0812(*.vst);;Файлы статистики 0814(*.814);;"
    "Файлы статистики LDN-08(*.ldn);;Все файлы (*)");
const QString kFilters[4] = {QStringLiteral("Файлы статистики 0812(*.vst)"),
                             QStringLiteral("Файлы статистики 0814(*.814)"),
                             QStringLiteral("Файлы статистики LDN-08(*.ldn)"), QStringLiteral("Все файлы (*)")};
}  // namespace

void MainWindow::NewFile() {
  ++windowCounter_;
  StatChild* w = MakeStatChild(DeviceType::dtVTK0812, *this);
  if (!w) return;
  w->Widget()->setWindowTitle(QStringLiteral("Статистика %1").arg(windowCounter_));
  AddChild(w->Widget());
  UpdateCommands();
}

void MainWindow::OpenCommand() {
  const QString name =
      ui_.OpenFileName(this, QStringLiteral("Открыть файл статистики"), LastFolder("OpenFolder"), kFilter);
  if (name.isEmpty()) return;
  RememberFolder("OpenFolder", name);
  OpenStatFile(name, ExtensionRule::Exact);
}

bool MainWindow::OpenStatFile(const QString& path, ExtensionRule rule, bool* sizeError) {
  if (sizeError) *sizeError = false;
  const std::filesystem::path file = PathOf(path);
  // Messages and the recent list name the file as the system writes paths
  // (backslashes on Windows, whatever form the path came in).
  const QString shown = QDir::toNativeSeparators(path);
  if (TypeOfFileName(file, rule) == DeviceType::dtUnknown) return false;  // another extension: no message
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    ui_.Warn(this, windowTitle(), QStringLiteral("Ошибка - ") + shown + QStringLiteral(" - это папка, а не файл."));
    return false;
  }
  Result<StatData> loaded = LoadStatFile(file, rule, shown.toStdString());
  if (!loaded) {
    if (loaded.error().code == ErrorCode::NotStatFile) return false;
    if (sizeError) *sizeError = true;
    ui_.Warn(this, windowTitle(), QString::fromStdString(loaded.error().reason));
    return false;
  }
  // A .814 file does not say C or CM: take the member this instrument had at
  // its last download (the job may have written it since the start).
  ApplyMember(*loaded, IniFile(ini_.Path()), std::nullopt);
  StatChild* w = StatWindowFor(loaded->type);
  if (!w) {
    ui_.Warn(this, windowTitle(), QStringLiteral("Невозможно создать окно просмотра статистики"));
    return false;
  }
  w->Widget()->setWindowTitle(QStringLiteral("Статистика - ") + path);
  w->Load(*loaded);
  SettingsWritten(recent_->Add(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
  UpdateCommands();
  return true;
}

void MainWindow::OpenFromCommandLine(const QStringList& arguments) {
  if (arguments.isEmpty()) return;
  const QString& first = arguments.front();
  if (!QFileInfo(first).isFile()) return;
  OpenStatFile(first, ExtensionRule::LowerCase);
}

void MainWindow::OpenDropped(const QList<QUrl>& urls) {
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    bool sizeError = false;
    OpenStatFile(url.toLocalFile(), ExtensionRule::LowerCase, &sizeError);
    if (sizeError) break;  // the rest of the drop is abandoned
  }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  OpenDropped(urls);
}

void MainWindow::SaveCommand() {
  StatChild* stat = ActiveStat();
  if (!stat) return;
  const DeviceType type = stat->Model();
  const int entry = type == DeviceType::dtLDN08 ? 2 : (type == DeviceType::dtVTK0812 ? 0 : 1);
  // The chosen model's filter first, so the dialog preselects it.
  QString filter = kFilters[entry];
  for (int i = 0; i < 4; ++i)
    if (i != entry) filter += QStringLiteral(";;") + kFilters[i];
  QString name = ui_.SaveFileName(this, QStringLiteral("Сохранить файл статистики"), LastFolder("SaveFolder"), filter);
  if (name.isEmpty()) return;
  if (QFileInfo(name).suffix().isEmpty()) name += QString::fromUtf8(FileExtension(type).data());
  RememberFolder("SaveFolder", name);
  if (const auto saved = SaveStatFile(PathOf(name), stat->Data()); !saved) {
    ui_.Warn(this, windowTitle(), QString::fromStdString(saved.error().reason));
    return;
  }
  SettingsWritten(recent_->Add(QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath())));
}

QStringList MainWindow::RecentFiles() const { return recent_->List(); }

void MainWindow::SettingsNotWritten(const Error& e) {
  const QString text = app::SettingsFailureText(e);
  Log(text);
  Status(text);
}

bool MainWindow::SettingsWritten(const Result<void>& written) {
  return app::SettingsWritten(written, [this](const Error& e) { SettingsNotWritten(e); });
}

}  // namespace statvtk::app
