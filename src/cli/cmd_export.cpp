// statvtk-cli export FILE: the decoded records of one archive as CSV.
#include <ostream>

#include "cli/cli_options.hpp"
#include "cli/commands.hpp"
#include "cli/output_check.hpp"
#include "cli/report_args.hpp"
#include "reports/csv_export.hpp"
#include "reports/file_io.hpp"

namespace statvtk::cli {

namespace {
constexpr const char* kExportAbout =
    "Writes the valid records of one archive of a statistics file as CSV: a\n"
    "heading row with units, then one row per record in time order.";

constexpr const char* kExportFooter = "Exit status: 0 done, 2 bad usage, 3 the file could not be read or written.\n";

struct ExportOptions : FileCommandArgs {
  std::string archive = "hourly";
  std::optional<std::string> out, separator, decimal;
};

void DeclareOptions(CLI::App& app, ExportOptions& o) {
  app.add_option("--archive", o.archive, "hourly (default), daily, monthly or events")
      ->type_name("hourly|daily|monthly|events");
  args::AddOptional(app, "--out", o.out, "write the CSV to PATH (default: standard output)")->type_name("PATH");
  args::AddOptional(app, "--separator", o.separator,
                    "the field separator (default ','; ';' when the decimal mark is ',')")
      ->type_name("C");
  args::AddOptional(app, "--decimal", o.decimal, "the decimal mark (default '.')")->type_name("C");
}

bool ArchiveOf(const std::string& name, CsvArchive* a) {
  if (name == "hourly") *a = CsvArchive::Hourly;
  else if (name == "daily") *a = CsvArchive::Daily;
  else if (name == "monthly") *a = CsvArchive::Monthly;
  else if (name == "events") *a = CsvArchive::Events;
  else return false;
  return true;
}

bool OneChar(const std::optional<std::string>& v, char* c) {
  if (!v) return true;
  if (v->size() != 1) return false;
  *c = (*v)[0];
  return true;
}
}  // namespace

int RunExport(const Args& args, std::ostream& out, std::ostream& err) {
  ExportOptions o;
  if (auto done = ParseFileCommand({"export", kExportAbout, kExportFooter}, o, args, out, err)) return *done;
  CsvArchive archive = CsvArchive::Hourly;
  char separator = '\0', decimal = '\0';
  if (!ArchiveOf(o.archive, &archive) || !OneChar(o.separator, &separator) || !OneChar(o.decimal, &decimal) ||
      (separator && separator == decimal))
    return UsageError(err, "export", "bad --archive, --separator or --decimal");
  auto loaded = LoadForCommand(o, err);
  if (const int* exit = std::get_if<int>(&loaded)) return *exit;
  StatData& data = std::get<StatData>(loaded);
  const auto model = MakeStatModel(data);
  if (!model) {
    err << o.file << ": unknown statistics model\n";
    return kExitFile;
  }
  const Result<std::string> made = ExportArchiveCsv(*model, archive, MakeCsvOptions(decimal, separator));
  if (!made) {
    err << o.file << ": " << made.error().reason << "\n";
    return kExitFile;
  }
  const std::string& csv = *made;
  if (const auto& path = o.out) {
    if (const Result<void> written =
            WriteFileAtomically(*path, {reinterpret_cast<const std::uint8_t*>(csv.data()), csv.size()});
        !written) {
      err << written.error().reason << "\n";
      return kExitFile;
    }
    out << *path << "\n";
  } else {
    out << csv;
  }
  return kExitOk;
}

}  // namespace statvtk::cli
