#include "app/frame_services.hpp"

#include <QWidget>
#include <QProgressBar>

#include "app/settings_failure.hpp"
#include "app/child_area.hpp"
#include "app/child_windows.hpp"
#include "app/frame_parts.hpp"
#include "app/job_controller.hpp"
#include "app/log_window.hpp"
#include "app/read_commands.hpp"
#include "app/report_settings.hpp"
#include "app/result_bar.hpp"
#include "app/status_panels.hpp"
#include "base/ini_file.hpp"

namespace statvtk::app {

QString FrameParts::Title() const { return window ? window->windowTitle() : QStringLiteral("StatVTK"); }

bool FrameParts::SettingsWritten(const Result<void>& written) const {
  return app::SettingsWritten(written, [this](const Error& e) {
    const QString text = SettingsFailureText(e);
    if (services) services->Log(text);
    if (status) status->SetText(0, text);
  });
}

UiSeam& FrameServices::Ui() { return *parts_.ui; }
const std::filesystem::path& FrameServices::Home() const { return parts_.home; }
IniFile& FrameServices::Settings() { return *parts_.ini; }
void FrameServices::Log(const QString& line) { parts_.log->AddMessage(line); }
void FrameServices::Status(const QString& text) { parts_.status->SetText(0, text); }

void FrameServices::ShowResult(const QString& text, const std::filesystem::path& file) {
  if (file.empty()) parts_.result->Clear();
  else parts_.result->Offer(file);
  parts_.status->SetText(0, text);
}

void FrameServices::ProgressStart(int max) { parts_.status->ShowProgress(0, max); }
void FrameServices::ProgressStep(int pos) { parts_.status->ShowProgress(pos, parts_.status->Progress()->maximum()); }
void FrameServices::ProgressFinish() { parts_.status->HideProgress(); }
ReportSettings FrameServices::Report() const { return LoadReportSettings(*parts_.ini, parts_.home); }

void FrameServices::OpenEventsFor(QWidget* statWindow) {
  auto* stat = dynamic_cast<StatChild*>(statWindow);
  if (!stat) return;
  if (QWidget* w = MakeEventsWindow(*stat, *this)) parts_.children->Add(w);
}

bool FrameServices::JobRunning() const { return parts_.jobs->Running(); }
bool FrameServices::StartCurrentRefresh(CurrentChild& target) { return reads_.StartCurrentRefresh(target); }
bool FrameServices::ResumeCurrentRefresh(CurrentChild& target) { return reads_.ResumeCurrentRefresh(target); }
void FrameServices::PollingChanged() { parts_.updateCommands(); }

}  // namespace statvtk::app
