#include "app/stat_csv.hpp"

#include <QLocale>
#include <QString>
#include <algorithm>

#include "app/app_services.hpp"
#include "app/path_text.hpp"
#include "app/ui_seam.hpp"
#include "reports/csv_export.hpp"
#include "reports/file_io.hpp"
#include "stats/stat_window.hpp"

namespace statvtk::app {

namespace {

const char* ArchiveWord(StatMode mode) {
  switch (mode) {
    case StatMode::Hourly: return "hourly";
    case StatMode::Daily: return "daily";
    case StatMode::Monthly: return "monthly";
  }
  return "";
}

}  // namespace

void ExportStatCsv(const StatWindowModel& window, bool shownOnly, AppServices& app, QWidget* parent) {
  const StatMode mode = window.Mode();
  const CsvArchive archive = mode == StatMode::Hourly  ? CsvArchive::Hourly
                             : mode == StatMode::Daily ? CsvArchive::Daily
                                                       : CsvArchive::Monthly;
  // The periods shown: the selected day, days or months (every month when none is).
  CsvPeriods shown;
  shown.mask = mode == StatMode::Monthly ? 0xFFFF0000u : 0xFFFFFF00u;
  for (std::size_t i = 0; i < window.Items().size(); ++i)
    if (window.IsSelected(i) || (mode == StatMode::Monthly && window.SelectedItems().empty()))
      shown.keys.push_back(window.Items()[i].key);
  std::string word = ArchiveWord(mode);
  if (shownOnly && !shown.keys.empty()) {
    const auto iso = [](std::uint32_t key) {
      const CalendarDate d = DateOfKey(key);
      return QStringLiteral("%1-%2-%3")
          .arg(d.year, 4, 10, QLatin1Char('0'))
          .arg(d.month, 2, 10, QLatin1Char('0'))
          .arg(std::max(d.day, 1), 2, 10, QLatin1Char('0'))
          .toStdString();
    };
    word += "_" + iso(shown.keys.front());
    if (shown.keys.size() > 1) word += "_" + iso(shown.keys.back());
  }
  // The user's locale decides the decimal mark, so that a spreadsheet reads the numbers.
  const QString point = QLocale().decimalPoint();
  const CsvOptions options = MakeCsvOptions(point == QStringLiteral(",") ? ',' : '.');
  const Result<std::string> made = ExportArchiveCsv(window.Model(), archive, options, shownOnly ? &shown : nullptr);
  if (!made) {
    app.Ui().Warn(parent, QStringLiteral("Экспорт CSV"), QString::fromStdString(made.error().reason));
    return;
  }
  const std::string& csv = *made;
  const std::filesystem::path proposed = app.Report().folder / CsvFileName(window.Model().SerialText(), word);
  const QString name = app.Ui().SaveFileName(parent, QStringLiteral("Экспорт CSV"), PathText(proposed),
                                             QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)"));
  if (name.isEmpty()) return;
  const std::filesystem::path path = PathOf(name);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(csv.data());
  if (const Result<void> written = WriteFileAtomically(path, std::span<const std::uint8_t>(bytes, csv.size()));
      !written) {
    app.Ui().Warn(parent, QStringLiteral("Экспорт CSV"),
                  QStringLiteral("Не удалось записать файл ") + name + QStringLiteral(": ") +
                      QString::fromStdString(written.error().reason));
    return;
  }
  app.Log(QStringLiteral("Записан файл CSV: ") + name);
  app.ShowResult(QStringLiteral("Файл CSV записан: ") + name, path);
}

}  // namespace statvtk::app
