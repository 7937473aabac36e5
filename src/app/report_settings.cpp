// Report settings and their dialog.
#include "app/report_settings.hpp"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <fstream>
#include <system_error>

#include "app/path_text.hpp"
#include "app/ui_seam.hpp"
#include "base/ini_file.hpp"
#include "base/program_home.hpp"

namespace statvtk::app {

namespace {
constexpr const char* kReport = "Report";
}

ReportSettings LoadReportSettings(const IniFile& ini, const std::filesystem::path& home) {
  ReportSettings s;
  const std::string folder = ini.ReadString(kReport, "Folder", "");
  s.folder = folder.empty() ? ReportsFolder(home) : std::filesystem::path(folder);
  s.openWhenDone = ini.ReadBool(kReport, "OpenWhenDone", true);
  return s;
}

Result<void> StoreReportSettings(IniFile& ini, const ReportSettings& s) {
  Result<void> written = ini.WriteString(kReport, "Folder", s.folder.string());
  KeepFirstError(written, ini.WriteBool(kReport, "OpenWhenDone", s.openWhenDone));
  return written;
}

QString FolderProblem(const std::filesystem::path& folder) {
  const QString shown = PathText(folder);
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec))
    return QStringLiteral("Папка отчетов ") + shown + QStringLiteral(" не существует.");
  // A real write says more than the permission bits (an administrator writes anywhere).
  const std::filesystem::path probe = folder / ".statvtk-write-check";
  {
    std::ofstream out(probe, std::ios::binary);
    if (!out) return QStringLiteral("В папку отчетов ") + shown + QStringLiteral(" нельзя записать файл.");
  }
  std::filesystem::remove(probe, ec);
  return {};
}

ReportSettingsDialog::ReportSettingsDialog(IniFile& ini, std::filesystem::path home, UiSeam& ui, QWidget* parent)
    : QDialog(parent), ini_(ini), home_(std::move(home)), ui_(ui) {
  setWindowTitle(QStringLiteral("Параметры отчета"));
  const ReportSettings s = LoadReportSettings(ini_, home_);
  folder_ = new QLineEdit(PathText(s.folder), this);
  folder_->setMinimumWidth(320);
  auto* browse = new QPushButton(QStringLiteral("Обзор..."), this);
  auto* row = new QHBoxLayout;
  row->addWidget(folder_);
  row->addWidget(browse);
  open_ = new QCheckBox(QStringLiteral("Открывать готовый отчет"), this);
  open_->setChecked(s.openWhenDone);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Папка отчетов:"), row);
  form->addRow(QString(), open_);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("O&K"), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString chosen = ui_.FolderName(this, QStringLiteral("Папка отчетов"), folder_->text());
    if (!chosen.isEmpty()) folder_->setText(chosen);
  });
  auto* box = new QVBoxLayout(this);
  box->addLayout(form);
  box->addWidget(buttons);
}

void ReportSettingsDialog::accept() {
  ReportSettings s;
  const QString folder = folder_->text().trimmed();
  if (folder.isEmpty()) {
    ui_.Warn(this, windowTitle(), QStringLiteral("Укажите папку отчетов."));
    return;
  }
  s.folder = PathOf(folder);
  std::error_code ec;
  // The program's own Reports/ is made on demand; any other folder must be there.
  if (s.folder == ReportsFolder(home_)) std::filesystem::create_directories(s.folder, ec);
  if (const QString refused = FolderProblem(s.folder); !refused.isEmpty()) {
    ui_.Warn(this, windowTitle(), refused);
    return;
  }
  s.openWhenDone = open_->isChecked();
  if (const Result<void> stored = StoreReportSettings(ini_, s); !SettingsWritten(stored, failed_)) {
    ui_.Warn(this, windowTitle(), SettingsFailureText(stored.error()));
    return;
  }
  QDialog::accept();
}

}  // namespace statvtk::app
