// statvtk-cli info FILE: the technical information of a statistics file.
#include <ostream>

#include "cli/commands.hpp"
#include "cli/report_args.hpp"
#include "reports/tech_info.hpp"

namespace statvtk::cli {

namespace {
constexpr const char* kInfoHelp =
    "usage: statvtk-cli info FILE [--home DIR]\n"
    "Prints the technical information (type, nominal diameter, flow limits,\n"
    "maximum frequency, pulse weight, serial number) of a statistics file\n"
    "(.vst, .814, .ldn).\n";
}

int RunInfo(const Args& args, std::ostream& out, std::ostream& err) {
  FileCommandArgs a;
  std::string error;
  if (!ParseFileCommandArgs(args, {}, &a, &error)) {
    err << "statvtk-cli info: " << error << "\n" << kInfoHelp;
    return kExitUsage;
  }
  if (a.help) {
    out << kInfoHelp;
    return kExitOk;
  }
  StatData data;
  if (!LoadStatistics(a.file, &data, &error)) {
    err << error << "\n";
    return kExitFile;
  }
  const TechInfo info = BuildTechInfo(data.header, data.type);
  out << info.caption << "\n";
  for (const auto& row : info.rows) out << row.label << "\t" << row.value << "\n";
  return kExitOk;
}

}  // namespace statvtk::cli
