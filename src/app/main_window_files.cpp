// The main window's file commands: New, Open, Save, the command-line file,
// dropped files and the recent-files list.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>

#include "app/child_windows.hpp"
#include "app/main_window.hpp"

#include "stats/device_members.hpp"
#include "app/ui_seam.hpp"

namespace statvtk::app {

namespace {
constexpr const char* kWindows = "Windows";
constexpr int kRecentCount = 8;
const QString kFilter = QStringLiteral(
    "Файлы статистики 0812(*.vst);;Файлы статистики 0814(*.814);;Файлы статистики LDN-08(*.ldn);;Все файлы (*)");
const QString kFilters[4] = {QStringLiteral("Файлы статистики 0812(*.vst)"), QStringLiteral("Файлы статистики 0814(*.814)"),
                             QStringLiteral("Файлы статистики LDN-08(*.ldn)"), QStringLiteral("Все файлы (*)")};
}  // namespace

void MainWindow::NewFile() {
  ++windowCounter_;
  StatChild* w = MakeStatChild(DeviceType::dtVTK0812, *this);
  if (!w) return;
  w->Widget()->setWindowTitle(QStringLiteral("Статистика %1").arg(windowCounter_));
  AddChild(w->Widget());
  UpdateChildCommands();
}

void MainWindow::OpenCommand() {
  const QString name = ui_.OpenFileName(this, QStringLiteral("Открыть файл статистики"), LastFolder("OpenFolder"), kFilter);
  if (name.isEmpty()) return;
  RememberFolder("OpenFolder", name);
  OpenStatFile(name, ExtensionRule::Exact);
}

bool MainWindow::OpenStatFile(const QString& path, ExtensionRule rule, bool* sizeError) {
  if (sizeError) *sizeError = false;
  const std::filesystem::path file = path.toStdString();
  if (TypeOfFileName(file, rule) == DeviceType::dtUnknown) return false;  // another extension: no message
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    ui_.Warn(this, windowTitle(), QStringLiteral("Ошибка - ") + path + QStringLiteral(" - это папка, а не файл."));
    return false;
  }
  LoadResult loaded = LoadStatFile(file, rule, path.toStdString());
  if (!loaded.data) {
    if (loaded.ignored) return false;
    if (sizeError) *sizeError = true;
    ui_.Warn(this, windowTitle(), QString::fromStdString(loaded.error));
    return false;
  }
  // A .814 file does not say C or CM: take the member this instrument had at
  // its last download (the job may have written it since the start).
  ApplyMember(*loaded.data, IniFile(ini_.Path()), std::nullopt);
  StatChild* w = StatWindowFor(loaded.data->type);
  if (!w) {
    ui_.Warn(this, windowTitle(), QStringLiteral("Невозможно создать окно просмотра статистики"));
    return false;
  }
  w->Widget()->setWindowTitle(QStringLiteral("Статистика - ") + path);
  w->Load(*loaded.data);
  AddRecent(QFileInfo(path).absoluteFilePath());
  UpdateChildCommands();
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
  if (const auto saved = SaveStatFile(name.toStdString(), stat->Data()); !saved) {
    ui_.Warn(this, windowTitle(), QString::fromStdString(saved.error().reason));
    return;
  }
  AddRecent(QFileInfo(name).absoluteFilePath());
}

// --- recent files (section Windows, keys Recent1..Recent8) ---

QStringList MainWindow::RecentFiles() const {
  QStringList list;
  for (int i = 1; i <= kRecentCount; ++i) {
    const std::string v = ini_.ReadString(kWindows, "Recent" + std::to_string(i), "");
    if (!v.empty()) list << QString::fromStdString(v);
  }
  return list;
}

void MainWindow::AddRecent(const QString& path) {
  QStringList list = RecentFiles();
  list.removeAll(path);
  list.prepend(path);
  while (list.size() > kRecentCount) list.removeLast();
  for (int i = 0; i < kRecentCount; ++i)
    ini_.WriteString(kWindows, "Recent" + std::to_string(i + 1), i < list.size() ? list[i].toStdString() : "");
  FillRecentMenu();
}

void MainWindow::FillRecentMenu() {
  recentMenu_->clear();
  const QStringList list = RecentFiles();
  for (int i = 0; i < list.size(); ++i) {
    QAction* a = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(list[i]));
    connect(a, &QAction::triggered, this, [this, path = list[i]] {
      // A listed file is opened as a dropped one: its extension in any case.
      OpenStatFile(path, ExtensionRule::LowerCase);
    });
  }
  recentMenu_->setEnabled(!list.isEmpty());
}

}  // namespace statvtk::app
