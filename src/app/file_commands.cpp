#include "app/file_commands.hpp"

#include <QDir>
#include <QFileInfo>
#include <QMainWindow>

#include "app/child_area.hpp"
#include "app/app_services.hpp"
#include "app/child_windows.hpp"
#include "app/frame_parts.hpp"
#include "app/path_text.hpp"
#include "app/read_commands.hpp"
#include "app/log_window.hpp"
#include "app/recent_files.hpp"
#include "app/status_panels.hpp"
#include "app/run_outcome.hpp"
#include "app/ui_seam.hpp"
#include "base/ini_file.hpp"
#include "base/program_home.hpp"
#include "stats/device_members.hpp"

namespace statvtk::app {

namespace {
constexpr const char* kWindows = "Windows";
// Every statistics file first, so the dialog shows them all at once.
const QString kFilter = QStringLiteral(
    "Файлы статистики (*.vst *.814 *.ldn);;Файлы статистики 0812(*.vst);;Файлы статистики 0814(*.814);;"
    "Файлы статистики LDN-08(*.ldn);;Все файлы (*)");
const QString kFilters[4] = {QStringLiteral("Файлы статистики 0812(*.vst)"),
                             QStringLiteral("Файлы статистики 0814(*.814)"),
                             QStringLiteral("Файлы статистики LDN-08(*.ldn)"), QStringLiteral("Все файлы (*)")};
}  // namespace

void FileCommands::NewFile() {
  const int number = reads_.NextWindowNumber();
  StatChild* w = MakeStatChild(DeviceType::dtVTK0812, *parts_.services);
  if (!w) return;
  w->Widget()->setWindowTitle(QStringLiteral("Статистика %1").arg(number));
  parts_.children->Add(w->Widget());
  parts_.updateCommands();
}

void FileCommands::OpenCommand() {
  const QString name = parts_.ui->OpenFileName(parts_.window, QStringLiteral("Открыть файл статистики"),
                                               LastFolder("OpenFolder"), kFilter);
  if (name.isEmpty()) return;
  RememberFolder("OpenFolder", name);
  OpenStatFile(name, ExtensionRule::Exact);
}

bool FileCommands::OpenStatFile(const QString& path, ExtensionRule rule, bool* sizeError) {
  if (sizeError) *sizeError = false;
  const std::filesystem::path file = PathOf(path);
  // Messages and the recent list name the file as the system writes paths
  // (backslashes on Windows, whatever form the path came in).
  const QString shown = QDir::toNativeSeparators(path);
  if (TypeOfFileName(file, rule) == DeviceType::dtUnknown) return false;  // another extension: no message
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    parts_.ui->Warn(parts_.window, parts_.Title(),
                    QStringLiteral("Ошибка - ") + shown + QStringLiteral(" - это папка, а не файл."));
    return false;
  }
  Result<StatData> loaded = LoadStatFile(file, rule, shown.toStdString());
  if (!loaded) {
    if (loaded.error().code == ErrorCode::NotStatFile) return false;
    if (sizeError) *sizeError = true;
    parts_.ui->Warn(parts_.window, parts_.Title(), QString::fromStdString(loaded.error().reason));
    return false;
  }
  // A .814 file does not say C or CM: take the member this instrument had at
  // its last download (the job may have written it since the start).
  ApplyMember(*loaded, IniFile(parts_.ini->Path()), std::nullopt);
  StatChild* w = parts_.children->StatWindowFor(loaded->type, *parts_.services);
  if (!w) {
    parts_.ui->Warn(parts_.window, parts_.Title(), QStringLiteral("Невозможно создать окно просмотра статистики"));
    return false;
  }
  w->Widget()->setWindowTitle(FileStatCaption(file));
  w->Load(*loaded);
  parts_.SettingsWritten(parts_.recent->Add(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
  parts_.updateCommands();
  // Records that decode to impossible values are told at once, in the
  // window itself, the status bar and the log (no box: a drop of many files
  // is not stopped by it).
  // So are records left out for a failed checksum or date.
  QStringList warnings;
  for (const QString& text : {w->DamageWarning(), w->LeftOutText()})
    if (!text.isEmpty()) warnings << text;
  if (!warnings.isEmpty()) {
    parts_.status->SetText(0, QStringLiteral("Внимание: ") + warnings.join(QLatin1Char(' ')));
    for (const QString& text : warnings) parts_.log->AddMessage(shown + QStringLiteral(": ") + text);
  }
  return true;
}

void FileCommands::OpenFromCommandLine(const QStringList& arguments) {
  if (arguments.isEmpty()) return;
  const QString& first = arguments.front();
  if (!QFileInfo(first).isFile()) return;
  OpenStatFile(first, ExtensionRule::LowerCase);
}

void FileCommands::OpenDropped(const QList<QUrl>& urls) {
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    bool sizeError = false;
    OpenStatFile(url.toLocalFile(), ExtensionRule::LowerCase, &sizeError);
    if (sizeError) break;  // the rest of the drop is abandoned
  }
}

void FileCommands::SaveCommand() {
  StatChild* stat = parts_.children->ActiveStat();
  if (!stat) return;
  const DeviceType type = stat->Model();
  const int entry = type == DeviceType::dtLDN08 ? 2 : (type == DeviceType::dtVTK0812 ? 0 : 1);
  // The chosen model's filter first, so the dialog preselects it.
  QString filter = kFilters[entry];
  for (int i = 0; i < 4; ++i)
    if (i != entry) filter += QStringLiteral(";;") + kFilters[i];
  QString name = parts_.ui->SaveFileName(parts_.window, QStringLiteral("Сохранить файл статистики"),
                                         LastFolder("SaveFolder"), filter);
  if (name.isEmpty()) return;
  if (QFileInfo(name).suffix().isEmpty()) name += QString::fromUtf8(FileExtension(type).data());
  RememberFolder("SaveFolder", name);
  if (const auto saved = SaveStatFile(PathOf(name), stat->Data()); !saved) {
    parts_.ui->Warn(parts_.window, parts_.Title(), QString::fromStdString(saved.error().reason));
    return;
  }
  // Said where it went, with the result bar's buttons to open it or its folder.
  const QString written = QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath());
  parts_.services->ShowResult(QStringLiteral("Файл сохранен: ") + written, PathOf(written));
  parts_.log->AddMessage(QStringLiteral("Файл сохранен: ") + written);
  parts_.SettingsWritten(parts_.recent->Add(written));
}

QString FileCommands::LastFolder(const char* key) const {
  const std::string saved = parts_.ini->ReadString(kWindows, key, "");
  if (!saved.empty() && std::filesystem::is_directory(saved)) return QString::fromStdString(saved);
  return PathText(DataFolder(parts_.home));
}

void FileCommands::RememberFolder(const char* key, const QString& file) {
  parts_.SettingsWritten(parts_.ini->WriteString(kWindows, key, PathOf(file).parent_path().string()));
}

}  // namespace statvtk::app
