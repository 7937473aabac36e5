// Arguments and file loading of the file commands.
#include "cli/report_args.hpp"

#include <cstdio>

#include "base/ini_file.hpp"
#include "base/program_home.hpp"
#include "cli/cli_options.hpp"
#include "stats/stat_file.hpp"

namespace statvtk::cli {

std::optional<int> ParseFileCommand(const FileCommandText& text, FileCommandArgs& a,
                                    const std::function<void(CLI::App&)>& declare, const Args& args, std::ostream& out,
                                    std::ostream& err) {
  const auto app = args::MakeApp("statvtk-cli " + text.name, text.about, text.footer);
  app->add_option("FILE", a.file, "the statistics file (.vst, .814, .ldn)")->required();
  if (declare) declare(*app);
  app->add_option_function<std::string>(
         "--member", [&a](const std::string& v) { a.member = MemberOfText(v); },
         "the VTK-08.14 member of a .814 file (else the one remembered for its serial number, else C)")
      ->check(CLI::Validator([](std::string& v) { return MemberOfText(v) ? std::string() : "C or CM"; }, ""))
      ->type_name("C|CM");
  args::AddOptional(*app, "--home", a.home, "program home (StatVTK.ini, Templates/, Reports/); also STATVTK_HOME")
      ->type_name("DIR");
  return ParseCommand(*app, args, out, err);
}

Result<StatData> LoadStatistics(const std::string& file) {
  Result<StatData> r = LoadStatFile(file, ExtensionRule::LowerCase);
  if (!r && r.error().code == ErrorCode::NotStatFile) {
    return MakeError(ErrorCode::BadFile, file + ": not a statistics file (.vst, .814, .ldn)");
  }
  return r;
}

Result<StatData> LoadStatistics(const FileCommandArgs& args, MemberSource* source) {
  Result<StatData> data = LoadStatistics(args.file);
  if (!data) return data;
  const IniFile ini(SettingsPath(HomeOf(args)));
  const MemberSource how = ApplyMember(*data, ini, args.member);
  if (source) *source = how;
  return data;
}

std::variant<StatData, int> LoadForCommand(const FileCommandArgs& args, std::ostream& err, MemberSource* source) {
  Result<StatData> loaded = LoadStatistics(args, source);
  if (!loaded) {
    err << loaded.error().reason << "\n";
    return kExitFile;
  }
  return std::move(*loaded);
}

std::filesystem::path HomeOf(const FileCommandArgs& args) { return ResolveProgramHome(args.home, ExecutablePath()); }

std::string SerialForJson(const std::string& raw) {
  std::string s;
  for (char c : raw) s += static_cast<unsigned char>(c) >= 0x80 ? std::string("\xEF\xBF\xBD") : std::string(1, c);
  return s;
}

bool ParseShortDate(const std::string& text, CalendarDate* date, bool anyListedDay) {
  if (text.size() != 8 || text[2] != '.' || text[5] != '.') return false;
  for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
    if (text[i] < '0' || text[i] > '9') return false;
  const int d = std::stoi(text.substr(0, 2)), m = std::stoi(text.substr(3, 2)), y = std::stoi(text.substr(6, 2));
  if (m < 1 || m > 12 || d < 1 || d > 31) return false;
  const CalendarDate c{2000 + y, m, d};
  if (!anyListedDay && AddDays(c, 0) != c) return false;  // 31.02 and the like
  *date = c;
  return true;
}

}  // namespace statvtk::cli
