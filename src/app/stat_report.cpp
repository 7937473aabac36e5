#include "app/stat_report.hpp"

#include <QUrl>

#include <system_error>

#include "app/path_text.hpp"
#include "app/app_services.hpp"
#include "app/services_progress.hpp"
#include "app/ui_seam.hpp"
#include "reports/report_export.hpp"
#include "reports/report_source.hpp"

namespace statvtk::app {

namespace {

// While a reading job runs the progress bar is the job's: the report then
// only logs.
class LogOnly : public NullProgressObserver {
 public:
  explicit LogOnly(AppServices& app) : app_(app) {}
  void LogLine(const std::string& text) override { app_.Log(QString::fromStdString(text)); }

 private:
  AppServices& app_;
};

ReportOutcome Failed(std::string reason, AppServices& app, QWidget* parent, bool logged) {
  if (!logged) app.Log(QString::fromUtf8(kExcelFailure) + ": " + QString::fromStdString(reason));
  // The box says why as well, not only the log.
  app.Ui().Warn(parent, QStringLiteral("StatVTK"),
                QString::fromUtf8(kExcelFailure) + QStringLiteral("\nДополнительная информация: ") +
                    QString::fromStdString(reason));
  app.ShowResult(QString::fromUtf8(kExcelFailure), {});
  return MakeError(ErrorCode::BadData, std::move(reason));
}

}  // namespace

Error NoReportMade() { return MakeError(ErrorCode::BadSettings, {}); }

ReportOutcome RunStatReport(const StatModel& model, const ReportPlan& plan, const std::string& fromText,
                            const std::string& toText, AppServices& app, QWidget* parent) {
  if (plan.kind == ReportKind::None) return NoReportMade();
  const ReportSettings settings = app.Report();
  const std::string serial = model.SerialText();
  const std::string name = plan.kind == ReportKind::Hourly ? HourlyReportFileName(serial, plan.dayText)
                                                           : DailyReportFileName(serial, fromText, toText);
  std::error_code ec;
  std::filesystem::create_directories(settings.folder, ec);
  if (ec)
    return Failed("Не удалось создать папку " + settings.folder.string() + ": " + ec.message(), app, parent, false);

  ServicesProgress bar(app);
  LogOnly logOnly(app);
  ReportRun run;
  run.home = app.Home();
  run.readingRunning = app.JobRunning();
  run.observer = run.readingRunning ? static_cast<ProgressObserver*>(&logOnly) : &bar;
  run.output = settings.folder / name;

  Result<std::filesystem::path> made = plan.kind == ReportKind::Hourly
                                           ? ExportHourDataToExcel(HourInputOf(model, plan), run)
                                           : ExportDayDataToExcel(DailyInputOf(model, plan, fromText, toText), run);
  if (!made) return Failed(made.error().reason, app, parent, true);
  const QString written = PathText(*made);
  app.Log(QStringLiteral("Отчет записан: ") + written);
  app.ShowResult(QStringLiteral("Отчет записан: ") + written, *made);
  if (settings.openWhenDone && !app.Ui().OpenExternally(QUrl::fromLocalFile(written))) {
    // The report is there; only the spreadsheet program could not be started.
    const QString why = QStringLiteral(
                            "Не удалось открыть отчет: нет программы для файлов .xlsx или она не "
                            "запустилась (") +
                        written + QStringLiteral(")");
    app.Log(why);
    // The folder, at least, can be shown.
    if (app.Ui().Ask(parent, QStringLiteral("StatVTK"), why + QStringLiteral("\n\nОткрыть папку с отчетом?")))
      app.Ui().OpenExternally(QUrl::fromLocalFile(PathText(made->parent_path())));
  }
  return made;
}

}  // namespace statvtk::app
