// Arguments and file loading of the file commands.
#include "cli/report_args.hpp"

#include <algorithm>
#include <cstdio>

#include "base/ini_file.hpp"
#include "base/program_home.hpp"
#include "stats/stat_file.hpp"

namespace statvtk::cli {

std::optional<std::string> FileCommandArgs::Option(const std::string& name) const {
  const auto it = options.find(name);
  return it == options.end() ? std::nullopt : std::optional<std::string>(it->second);
}

Result<FileCommandArgs> ParseFileCommandArgs(const Args& args, const std::vector<std::string>& valueOptions) {
  FileCommandArgs parsed;
  FileCommandArgs* out = &parsed;
  const auto fail = [](std::string reason) { return MakeError(ErrorCode::BadSettings, std::move(reason)); };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out->help = true;
      return parsed;
    }
    const bool takesValue = a == "--home" || a == "--member" ||
                            std::find(valueOptions.begin(), valueOptions.end(), a) != valueOptions.end();
    if (takesValue) {
      if (i + 1 >= args.size()) {
        return fail("option " + a + " needs a value");
      }
      const std::string& v = args[++i];
      if (a == "--home") {
        out->home = v;
      } else if (a == "--member") {
        out->member = MemberOfText(v);
        if (!out->member) {
          return fail("--member: C or CM");
        }
      } else if (!out->options.emplace(a, v).second) {
        return fail("option " + a + " given twice");
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return fail("unknown option " + a);
    } else if (out->file.empty()) {
      out->file = a;
    } else {
      return fail("more than one file given: " + a);
    }
  }
  if (out->file.empty()) {
    return fail("no statistics file given");
  }
  return parsed;
}

std::variant<FileCommandArgs, int> StartFileCommand(const Args& args, const std::vector<std::string>& valueOptions,
                                                    const char* name, std::string_view help, std::ostream& out,
                                                    std::ostream& err) {
  Result<FileCommandArgs> parsed = ParseFileCommandArgs(args, valueOptions);
  if (!parsed) {
    err << "statvtk-cli " << name << ": " << parsed.error().reason << "\n" << help;
    return kExitUsage;
  }
  if (parsed->help) {
    out << help;
    return kExitOk;
  }
  return std::move(*parsed);
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
