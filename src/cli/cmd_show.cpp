// statvtk-cli show: a statistics file decoded, as text or as JSON.
#include <cstdio>

#include "base/json_text.hpp"
#include "base/printable_text.hpp"
#include "cli/cli_options.hpp"
#include "cli/commands.hpp"
#include "cli/output_check.hpp"
#include "cli/report_args.hpp"
#include "base/ini_file.hpp"
#include "base/program_home.hpp"
#include "stats/stat_file.hpp"
#include "stats/record_values.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::cli {

namespace {

const char* kShowAbout = R"(Decodes a statistics file (.vst, .814, .ldn; the extension in any case) and
prints the model, the serial number, the current values, every valid record
of each archive in index order and the events. With --json one object is
printed instead; docs/cli.md describes its schema. A .814 file is decoded
as the VTK-08.14 member (C or CM) given with --member, else the one
remembered for its serial number at download (StatVTK.ini in the home,
section Devices), else C.)";

const char* kShowFooter = R"(Exit status: 0 done, 2 bad usage, 3 the file could not be read or has the
wrong size or extension, or standard output could not be written.
)";

std::string DateText(const StatRecord& r) { return ShortDateText(r.day, r.month, r.year); }

constexpr std::pair<ArchiveKind, const char*> kArchives[] = {
    {ArchiveKind::Hourly, "hourly"}, {ArchiveKind::Daily, "daily"}, {ArchiveKind::Monthly, "monthly"}};

Json JsonRecord(const StatModel& m, ArchiveKind kind, std::size_t i) {
  const StatRecord r = m.Decode(kind, i);
  Json j;
  j["index"] = i;
  j["pos"] = m.Index(kind)[i].Pos;
  j["date"] = DateText(r);
  j["hour"] = r.hour;
  for (const auto& v : RecordValues(m, r)) j[v.key] = v.value ? Json(*v.value) : Json(nullptr);
  j["counters"] = r.counters;
  j["counter_increments"] = Json(nullptr);
  if (r.incrementKnown) {
    Json increments = Json::array();
    for (auto c : r.counterIncrements) increments.push_back(static_cast<double>(c));
    j["counter_increments"] = std::move(increments);
  }
  j["flags"] = r.flags;
  j["status"] = r.statusText;
  return j;
}

std::string ShowJson(const StatModel& m) {
  Json j;
  j["model"] = DeviceTypeName(m.Type());
  j["serial"] = SerialForJson(m.SerialText());
  // An image without a valid record has no meaningful current values.
  const bool valid = m.HasValidRecord();
  if (!valid) j["message"] = kNoValidRecordText;
  Json current = Json::object();
  if (valid)
    for (const auto& row : m.CurrentRows()) current[row.name] = row.value;
  j["current"] = std::move(current);
  for (const auto& [kind, name] : kArchives) {
    Json records = Json::array();
    if (m.HasArchive(kind))
      for (std::size_t i = 0; i < m.Index(kind).size(); ++i)
        if (m.EntryValid(kind, i)) records.push_back(JsonRecord(m, kind, i));
    j[name] = std::move(records);
  }
  Json events = Json::array();
  const EventTable ev = m.Events();
  for (const auto& row : ev.rows) {
    Json e = Json::object();
    for (std::size_t c = 0; c < row.size() && c < ev.headings.size(); ++c) e[ev.headings[c]] = row[c];
    events.push_back(std::move(e));
  }
  j["events"] = std::move(events);
  return JsonText(j) + "\n";
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
  FileCommandArgs fileArgs;
  const auto declare = [&json](CLI::App& app) {
    app.add_flag("--json", json, "one JSON object instead of text (docs/cli.md describes it)");
  };
  if (auto done = ParseFileCommand({"show", kShowAbout, kShowFooter}, fileArgs, declare, args, out, err)) return *done;
  const std::string& file = fileArgs.file;
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
  if (json) out << ShowJson(*model);
  else Text(*model, out);
  return kExitOk;
}

}  // namespace statvtk::cli
