// statvtk-cli export FILE: the decoded records of one archive as CSV.
#include <ostream>

#include "cli/commands.hpp"
#include "cli/output_check.hpp"
#include "cli/report_args.hpp"
#include "reports/csv_export.hpp"
#include "reports/file_io.hpp"

namespace statvtk::cli {

namespace {
constexpr const char* kExportHelp =
    "usage: statvtk-cli export FILE [--archive hourly|daily|monthly|events] [--out PATH]\n"
    "                          [--separator C] [--decimal C] [--member C|CM] [--home DIR]\n"
    "Writes the valid records of one archive of a statistics file as CSV: a\n"
    "heading row with units, then one row per record in time order. Default\n"
    "archive hourly, output to standard output, decimal mark '.', separator ','\n"
    "(';' when the decimal mark is ',').\n";

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
  const auto started =
      StartFileCommand(args, {"--archive", "--out", "--separator", "--decimal"}, "export", kExportHelp, out, err);
  if (const int* exit = std::get_if<int>(&started)) return *exit;
  const FileCommandArgs& a = std::get<FileCommandArgs>(started);
  CsvArchive archive = CsvArchive::Hourly;
  char separator = '\0', decimal = '\0';
  if (!ArchiveOf(a.Option("--archive").value_or("hourly"), &archive) || !OneChar(a.Option("--separator"), &separator) ||
      !OneChar(a.Option("--decimal"), &decimal) || (separator && separator == decimal)) {
    err << "statvtk-cli export: bad --archive, --separator or --decimal\n" << kExportHelp;
    return kExitUsage;
  }
  auto loaded = LoadForCommand(a, err);
  if (const int* exit = std::get_if<int>(&loaded)) return *exit;
  StatData& data = std::get<StatData>(loaded);
  const auto model = MakeStatModel(data);
  if (!model) {
    err << a.file << ": unknown statistics model\n";
    return kExitFile;
  }
  const Result<std::string> made = ExportArchiveCsv(*model, archive, MakeCsvOptions(decimal, separator));
  if (!made) {
    err << a.file << ": " << made.error().reason << "\n";
    return kExitFile;
  }
  const std::string& csv = *made;
  if (const auto path = a.Option("--out")) {
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
