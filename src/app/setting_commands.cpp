#include "app/setting_commands.hpp"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QSignalBlocker>
#include <QSpinBox>

#include "app/settings_failure.hpp"
#include "app/about_dialog.hpp"
#include "app/connection_dialog.hpp"
#include "app/frame_parts.hpp"
#include "app/help_window.hpp"
#include "app/read_commands.hpp"
#include "app/report_settings.hpp"
#include "app/status_panels.hpp"
#include "app/traffic_window.hpp"
#include "app/job_controller.hpp"
#include "app/ui_seam.hpp"
#include "base/ini_file.hpp"
#include "link/serial_channel.hpp"
#include "reading/address_check.hpp"
#include "reading/batch_plan.hpp"

namespace statvtk::app {

namespace {
constexpr const char* kSettingsSection = "Settings";
}

SettingCommands::SettingCommands(FrameParts& parts, ReadCommands& reads, QLabel& emptyState)
    : parts_(parts), reads_(reads), emptyState_(emptyState) {}

void SettingCommands::ShowConnectionText() {
  parts_.status->SetText(1, QString::fromStdString(parts_.settings->ConnectionText()));
}

void SettingCommands::ConnectionSettingsCommand() {
  ConnectionDialog dialog(*parts_.settings, *parts_.ui, ListSerialPorts(), parts_.window);
  dialog.SetAcceptance([this](const ConnectionSettings& s) {
    if (const QString problem = CheckConnectionValues(s); !problem.isEmpty()) return problem;
    if (const Result<void> stored = StoreConnectionSettings(*parts_.ini, s); !parts_.SettingsWritten(stored))
      return SettingsFailureText(stored.error());
    *parts_.settings = s;
    return QString();
  });
  if (parts_.ui->RunDialog(dialog) != QDialog::Accepted) return;
  // An address refused before (above 255 without M-Bus) may be usable now.
  StoreShownAddress();
  ShowConnectionText();
  if (!emptyState_.isHidden()) {
    emptyState_.hide();
    parts_.status->SetText(0, QString());
  }
}

void SettingCommands::ScanCommand() {
  if (reads_.CurrentActivity() != Activity::Idle || reads_.Asking()) return;
  QList<ScanEntry> toRead;
  {
    ConnectionSettings line = *parts_.settings;
    line.netAddress = parts_.address->value();
    ScanDialog dialog(line, parts_.window);
    dialog.Recall(scan_);
    // The search's frames reach the traffic monitors like a read's.
    dialog.SetTrace([jobs = parts_.jobs](const FrameTrace& f) { jobs->TraceFrame(f); });
    QObject::connect(&dialog, &ScanDialog::MonitorAsked, &dialog, [this, &dialog] { ShowMonitorOver(dialog); });
    QObject::connect(&dialog, &ScanDialog::UseChosen, &dialog, [this](const ScanEntry& e) { UseScanEntry(e); });
    QObject::connect(&dialog, &ScanDialog::ReadChosen, &dialog, [&dialog, &toRead](const QList<ScanEntry>& entries) {
      toRead = entries;
      dialog.accept();
    });
    parts_.ui->RunDialog(dialog);
    scan_ = dialog.Memory();
  }  // a search still going has stopped here and let go of the line
  // What the search found stays in sight after its window has closed.
  if (toRead.isEmpty() && !scan_.entries.isEmpty())
    parts_.status->SetText(0, QStringLiteral("Поиск приборов: найдено %1").arg(scan_.entries.size()));
  if (!toRead.isEmpty()) reads_.ReadScanEntries(toRead);
}

void SettingCommands::ShowMonitorOver(QDialog& dialog) {
  // The frame's own monitor cannot be used while the dialog is up: this one
  // is a window of the dialog's, and closes with it.
  auto* monitor = dialog.findChild<TrafficWindow*>();
  if (!monitor) {
    monitor = new TrafficWindow(*parts_.ui, parts_.home, &dialog);
    monitor->setWindowFlag(Qt::Window);
    monitor->resize(640, 320);
    parts_.jobs->WatchTraffic(monitor);
  }
  monitor->show();
  monitor->raise();
  monitor->activateWindow();
}

void SettingCommands::StoreShownAddress() {
  const int shown = parts_.address->value();
  if (AddressProblem(shown, parts_.settings->useMBus).empty())
    parts_.SettingsWritten(parts_.ini->WriteInteger(kSettingsSection, "NetAddress", shown));
}

bool SettingCommands::UseScanEntry(const ScanEntry& entry) {
  const int baudIndex = BaudIndexOf(entry.baud, parts_.settings->baudIndex);
  // The two keys the connection dialog and the address field write; the rest stays.
  Result<void> written =
      parts_.ini->WriteInteger(kSettingsSection, "NetAddress", static_cast<long long>(entry.address));
  if (written) written = parts_.ini->WriteInteger(kSettingsSection, "BaudRate", baudIndex);
  if (!parts_.SettingsWritten(written)) {
    parts_.ui->Warn(parts_.window, parts_.Title(), SettingsFailureText(written.error()));
    return false;
  }
  parts_.settings->netAddress = entry.address;
  parts_.settings->baudIndex = baudIndex;
  {
    // Already written: the field's own write is not repeated.
    const QSignalBlocker block(parts_.address);
    parts_.address->setValue(static_cast<int>(entry.address));
  }
  ShowConnectionText();
  return true;
}

void SettingCommands::ReportParamsCommand() {
  ReportSettingsDialog dialog(*parts_.ini, parts_.home, *parts_.ui, parts_.window);
  dialog.SetSettingsFailure([this](const Error& e) { parts_.SettingsWritten(Result<void>(e)); });
  parts_.ui->RunDialog(dialog);
}

void SettingCommands::ApplyTopMost(bool on) {
  topMost_ = on;
  parts_.actions->topMost->setChecked(on);
  const bool visible = parts_.window->isVisible();
  parts_.window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) parts_.window->show();
}

void SettingCommands::ToggleTopMost() {
  const bool on = !topMost_;
  ApplyTopMost(on);
  parts_.SettingsWritten(parts_.ini->WriteInteger(kSettingsSection, "TopMost", on ? 1 : 0));
  parts_.window->show();
}

void SettingCommands::ShowHelp() {
  if (!help_) help_ = HelpWindow::Make(*parts_.ui, parts_.window);
  if (!help_) {
    parts_.ui->Warn(parts_.window, parts_.Title(), QStringLiteral("Руководство пользователя не найдено."));
    return;
  }
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void SettingCommands::ShowAbout() {
  AboutDialog about(*parts_.ui, parts_.window);
  parts_.ui->RunDialog(about);
}

}  // namespace statvtk::app
