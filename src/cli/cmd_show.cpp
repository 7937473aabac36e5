// statvtk-cli show: a statistics file decoded, as text or as JSON.
#include <cstdio>

#include "base/printable_text.hpp"
#include "cli/commands.hpp"
#include "base/json_writer.hpp"
#include "cli/output_check.hpp"
#include "cli/report_args.hpp"
#include "base/ini_file.hpp"
#include "base/program_home.hpp"
#include "stats/stat_file.hpp"
#include "stats/record_values.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::cli {

namespace {

const char* kShowHelp = R"(Usage: statvtk-cli show FILE [--json] [--member C|CM] [--home DIR]

Decodes a statistics file (.vst, .814, .ldn; the extension in any case) and
prints the model, the serial number, the current values, every valid record
of each archive in index order and the events. With --json one object is
printed instead; docs/cli.md describes its schema. A .814 file is decoded
as the VTK-08.14 member (C or CM) given with --member, else the one
remembered for its serial number at download (StatVTK.ini in the home,
section Devices), else C.

Exit status: 0 done, 2 bad usage, 3 the file could not be read or has the
wrong size or extension, or standard output could not be written.

)";

std::string DateText(const StatRecord& r) { return ShortDateText(r.day, r.month, r.year); }

constexpr std::pair<ArchiveKind, const char*> kArchives[] = {
    {ArchiveKind::Hourly, "hourly"}, {ArchiveKind::Daily, "daily"}, {ArchiveKind::Monthly, "monthly"}};

void JsonRecord(JsonWriter& j, const StatModel& m, ArchiveKind kind, std::size_t i) {
  const StatRecord r = m.Decode(kind, i);
  j.BeginObject();
  j.Key("index").Int(static_cast<long long>(i));
  j.Key("pos").Int(m.Index(kind)[i].Pos);
  j.Key("date").String(DateText(r));
  j.Key("hour").Int(r.hour);
  for (const auto& v : RecordValues(m, r)) {
    j.Key(v.key);
    if (v.value) j.Number(*v.value);
    else j.Null();
  }
  j.Key("counters").BeginArray();
  for (auto c : r.counters) j.Int(c);
  j.EndArray();
  j.Key("counter_increments");
  if (r.incrementKnown) {
    j.BeginArray();
    for (auto c : r.counterIncrements) j.Number(static_cast<double>(c));
    j.EndArray();
  } else {
    j.Null();
  }
  j.Key("flags").Int(r.flags);
  j.Key("status").String(r.statusText);
  j.EndObject();
}

// A serial number is ASCII; each byte of a damaged one at or above 0x80
// becomes U+FFFD, as in the workbook.
std::string SerialForText(const std::string& raw) {
  std::string s;
  for (char c : raw) s += static_cast<unsigned char>(c) >= 0x80 ? std::string("\xEF\xBF\xBD") : std::string(1, c);
  return s;
}

std::string Json(const StatModel& m) {
  JsonWriter j;
  j.BeginObject();
  j.Key("model").String(DeviceTypeName(m.Type()));
  j.Key("serial").String(SerialForText(m.SerialText()));
  // An image without a valid record has no meaningful current values.
  const bool valid = m.HasValidRecord();
  if (!valid) j.Key("message").String(kNoValidRecordText);
  j.Key("current").BeginObject();
  if (valid)
    for (const auto& row : m.CurrentRows()) j.Key(row.name).String(row.value);
  j.EndObject();
  for (const auto& [kind, name] : kArchives) {
    j.Key(name).BeginArray();
    if (m.HasArchive(kind))
      for (std::size_t i = 0; i < m.Index(kind).size(); ++i)
        if (m.EntryValid(kind, i)) JsonRecord(j, m, kind, i);
    j.EndArray();
  }
  j.Key("events").BeginArray();
  const EventTable ev = m.Events();
  for (const auto& row : ev.rows) {
    j.BeginObject();
    for (std::size_t c = 0; c < row.size() && c < ev.headings.size(); ++c) j.Key(ev.headings[c]).String(row[c]);
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return j.Text() + "\n";
}

std::string Number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

void Text(const StatModel& m, std::ostream& out) {
  out << "Модель: " << DeviceTypeName(m.Type()) << "\n";
  out << "Заводской номер: " << PrintableText(m.SerialText()) << "\n\n";
  if (!m.HasValidRecord()) {
    out << kNoValidRecordText << "\n";
  } else {
    out << "Текущие значения\n";
    for (const auto& row : m.CurrentRows()) out << "  " << row.name << ": " << row.value << "\n";
  }
  constexpr const char* kTitles[] = {"Часовые записи", "Суточные записи", "Месячные записи"};
  int t = 0;
  int unknown = 0;
  for (const auto& [kind, name] : kArchives) {
    const char* title = kTitles[t++];
    if (!m.HasArchive(kind)) continue;
    out << "\n" << title << "\n";
    for (std::size_t i = 0; i < m.Index(kind).size(); ++i) {
      if (!m.EntryValid(kind, i)) continue;
      const StatRecord r = m.Decode(kind, i);
      char head[64];
      std::snprintf(head, sizeof head, "  %5zu @%-6u %s %.2d:00", i, m.Index(kind)[i].Pos, DateText(r).c_str(), r.hour);
      out << head;
      for (const auto& v : r.values)
        out << "  " << v.name << " " << (v.increment && !r.incrementKnown ? std::string("-") : Number(v.value));
      out << "  " << r.statusText << "\n";
      if (!r.incrementKnown) ++unknown;
    }
  }
  if (unknown > 0) out << "\nЗаписей без приращения: " << unknown << "\n";
  const EventTable ev = m.Events();
  out << "\nСобытия\n";
  if (!ev.rows.empty()) {
    out << " ";
    for (const auto& h : ev.headings) out << " " << h;
    out << "\n";
  }
  for (const auto& row : ev.rows) {
    out << " ";
    for (const auto& c : row) out << " " << c;
    out << "\n";
  }
}

}  // namespace

int RunShow(const Args& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  std::string file;
  FileCommandArgs fileArgs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kShowHelp;
      return kExitOk;
    }
    if (a == "--json") {
      json = true;
    } else if (a == "--member" || a == "--home") {
      if (i + 1 >= args.size() || (a == "--member" && !MemberOfText(args[i + 1]))) {
        err << "statvtk-cli show: " << a << (a == "--member" ? ": C or CM" : " needs a value") << "\n";
        return kExitUsage;
      }
      if (a == "--member") fileArgs.member = MemberOfText(args[++i]);
      else fileArgs.home = args[++i];
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      err << "statvtk-cli show: unknown option " << a << "\nTry 'statvtk-cli show --help'.\n";
      return kExitUsage;
    } else if (file.empty()) {
      file = a;
    } else {
      err << "statvtk-cli show: one FILE only\n";
      return kExitUsage;
    }
  }
  if (file.empty()) {
    err << "statvtk-cli show: FILE missing\nTry 'statvtk-cli show --help'.\n";
    return kExitUsage;
  }
  Result<StatData> loaded = LoadStatFile(file, ExtensionRule::LowerCase, file);
  if (!loaded && loaded.error().code == ErrorCode::NotStatFile) {
    err << "statvtk-cli show: " << file << ": not a statistics file (.vst, .814, .ldn)\n";
    return kExitFile;
  }
  if (!loaded) {
    err << "statvtk-cli show: " << loaded.error().reason << "\n";
    return kExitFile;
  }
  ApplyMember(*loaded, IniFile(SettingsPath(HomeOf(fileArgs))), fileArgs.member);
  auto model = MakeStatModel(*loaded);
  if (!model) {
    err << "statvtk-cli show: " << file << ": not a statistics file\n";
    return kExitFile;
  }
  if (json) out << Json(*model);
  else Text(*model, out);
  return kExitOk;
}

}  // namespace statvtk::cli
