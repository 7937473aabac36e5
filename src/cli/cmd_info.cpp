// statvtk-cli info FILE: the technical information of a statistics file.
#include <ostream>

#include "base/printable_text.hpp"
#include "cli/cli_options.hpp"
#include "cli/commands.hpp"
#include "cli/report_args.hpp"
#include "reports/tech_info.hpp"

namespace statvtk::cli {

namespace {
constexpr const char* kInfoAbout =
    "Prints the technical information (type, nominal diameter, flow limits,\n"
    "maximum frequency, pulse weight, serial number) of a statistics file\n"
    "(.vst, .814, .ldn). A .814 file does not say whether the instrument is a\n"
    "VTK-08.14 C or CM: the member given with --member is used, else the one\n"
    "remembered for its serial number at download (StatVTK.ini, [Devices]),\n"
    "else C; the last line says which tables were used.";
constexpr const char* kInfoFooter = "Exit status: 0 done, 2 bad usage, 3 the file could not be read.\n";
}  // namespace

int RunInfo(const Args& args, std::ostream& out, std::ostream& err) {
  FileCommandArgs a;
  if (auto done = ParseFileCommand({"info", kInfoAbout, kInfoFooter}, a, nullptr, args, out, err)) return *done;
  MemberSource member = MemberSource::NotApplicable;
  const auto loaded = LoadForCommand(a, err, &member);
  if (const int* exit = std::get_if<int>(&loaded)) return *exit;
  const StatData& data = std::get<StatData>(loaded);
  const TechInfo info = BuildTechInfo(data.header, data.type);
  out << PrintableText(info.caption) << "\n";
  for (const auto& row : info.rows) out << row.label << "\t" << PrintableText(row.value) << "\n";
  if (const std::string note = MemberNote(member, data.type); !note.empty()) out << note << "\n";
  return kExitOk;
}

}  // namespace statvtk::cli
