// Running the hourly and daily reports.
#include "reports/report_export.hpp"

#include <algorithm>
#include <system_error>

#include "base/install_layout.hpp"
#include "base/program_home.hpp"
#include "base/safe_name.hpp"
#include "reports/workbook_filler.hpp"

namespace statvtk {

namespace {

const char* Suffix(TemplateKind kind) { return kind == TemplateKind::Hourly ? "_h.xlsx" : "_d.xlsx"; }

// "DD.MM.YY" -> "20YY-MM-DD" (kept as written when not of that form).
std::string IsoDay(const std::string& day) {
  if (day.size() == 8 && day[2] == '.' && day[5] == '.')
    return "20" + day.substr(6, 2) + "-" + day.substr(3, 2) + "-" + day.substr(0, 2);
  return day;
}

void Status(const ReportRun& run, const std::string& text) {
  if (run.observer) run.observer->ShowStatus(text);
}

void Restore(const ReportRun& run) {
  if (!run.observer) return;
  if (run.readingRunning) {
    run.observer->SetProgressMax(run.rememberedMax);
    run.observer->ShowStatus("Чтение статистики");
  } else {
    run.observer->SetProgressPos(0);
    run.observer->SetProgressMax(0);  // hidden
    run.observer->ShowStatus("");
  }
}

Error Fail(const ReportRun& run, Error error) {
  if (run.observer) run.observer->LogLine(std::string(kExcelFailure) + ": " + error.reason);
  Restore(run);
  return error;
}

Result<std::filesystem::path> TemplateFor(const ReportRun& run, const std::string& name, TemplateKind kind) {
  std::vector<std::filesystem::path> tried;
  auto found = name.empty() ? std::nullopt : FindTemplate(run.home, name, kind, &tried);
  if (found) return *found;
  std::string reason = "Шаблон " + name + Suffix(kind) + " не найден";
  for (std::size_t i = 0; i < tried.size(); ++i) reason += (i ? ", " : " (") + tried[i].string();
  if (!tried.empty()) reason += ")";
  return MakeError(ErrorCode::FileSystem, std::move(reason));
}

Result<std::filesystem::path> OutputPath(const ReportRun& run, const std::string& fileName) {
  if (run.output) return *run.output;
  const auto folder = ReportsFolder(run.home);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec)
    return MakeError(ErrorCode::FileSystem, "Не удалось создать папку " + folder.string() + ": " + ec.message(),
                     ec.value());
  return folder / fileName;
}

// Steps common to both reports: template, status texts, block, file.
template <typename Build>
Result<std::filesystem::path> Run(const ReportRun& run, const std::string& templateName, TemplateKind kind,
                                  const std::string& fileName, int steps, Build build) {
  if (run.observer) {
    run.observer->SetProgressPos(0);
    run.observer->SetProgressMax(steps);
  }
  Status(run, "Запуск сервера...");
  const auto templ = TemplateFor(run, templateName, kind);
  if (!templ) return Fail(run, templ.error());
  const auto out = OutputPath(run, fileName);
  if (!out) return Fail(run, out.error());
  Status(run, "Передача данных...");
  const CellBlock block = build([&](int step) {
    if (run.observer) run.observer->SetProgressPos(step);
  });
  if (const Result<void> filled = FillWorkbookFile(*templ, block, *out); !filled) return Fail(run, filled.error());
  Restore(run);
  return *out;
}

}  // namespace

// The one rule of every name made from instrument data; a file without a
// serial gives "device".
std::string SafeName(const std::string& s) {
  std::string out = SafeNamePart(s);
  return out.empty() ? "device" : out;
}

std::optional<std::filesystem::path> FindTemplate(const std::filesystem::path& home, const std::string& name,
                                                  TemplateKind kind, std::vector<std::filesystem::path>* tried) {
  const std::string file = name + Suffix(kind);
  for (const auto& folder : TemplateSearchFolders(home, ExecutablePath(), BuildTemplateFolder())) {
    const auto path = folder / file;
    if (tried) tried->push_back(path);
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) return path;
  }
  return std::nullopt;
}

std::filesystem::path InstalledTemplateFolder() { return InstalledTemplateFolder(ExecutablePath()); }
std::filesystem::path BuildTemplateFolder() { return STATVTK_BUILD_TEMPLATE_DIR; }

std::string HourlyReportFileName(const std::string& serial, const std::string& dayText) {
  return SafeName(serial) + "_" + SafeName(IsoDay(dayText)) + "_hourly.xlsx";
}

std::string DailyReportFileName(const std::string& serial, const std::string& fromText, const std::string& toText) {
  return SafeName(serial) + "_" + SafeName(IsoDay(fromText)) + "_" + SafeName(IsoDay(toText)) + "_daily.xlsx";
}

Result<std::filesystem::path> ExportHourDataToExcel(const HourReportInput& input, const ReportRun& run) {
  return Run(run, TemplateName(input.header.type, input.header.optionFlag), TemplateKind::Hourly,
             HourlyReportFileName(input.header.serial, input.dayText), 24,
             [&](auto progress) { return BuildHourBlock(input, progress); });
}

Result<std::filesystem::path> ExportDayDataToExcel(const DailyReportInput& input, const ReportRun& run) {
  const int steps = static_cast<int>(std::min<std::size_t>(input.days.size(), kDailyMaxDays));
  return Run(run, TemplateName(input.header.type, input.header.optionFlag), TemplateKind::Daily,
             DailyReportFileName(input.header.serial, input.fromText, input.toText), steps,
             [&](auto progress) { return BuildDailyBlock(input, progress); });
}

}  // namespace statvtk
