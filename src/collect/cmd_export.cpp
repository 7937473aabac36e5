// statvtk-collect export: one instrument's stored records as CSV or JSON.
#include <cstdio>

#include "collect/http_json.hpp"
#include "collect/commands.hpp"

namespace statvtk::collect {

namespace {

std::string Csv(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

std::string CsvOpt(const std::optional<double>& v) { return v ? Csv(*v) : std::string(); }

std::string Quoted(const std::string& s) {
  std::string q = "\"";
  for (char ch : s) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return q + "\"";
}

}  // namespace

int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto c = ReadCommon(args, err);
  if (!c) return kExitConfig;
  store::RecordQuery q;
  bool json = false;
  const auto& a = c->rest;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const bool valued = a[i] == "--serial" || a[i] == "--from" || a[i] == "--to" || a[i] == "--archive";
    if (valued && i + 1 >= a.size()) {
      err << "statvtk-collect export: " << a[i] << " needs a value\n";
      return kExitConfig;
    }
    if (a[i] == "--serial") q.serial = a[++i];
    else if (a[i] == "--from") q.from = a[++i];
    else if (a[i] == "--to") q.to = a[++i];
    else if (a[i] == "--archive") {
      const auto k = store::ArchiveOfName(a[++i]);
      if (!k) {
        err << "statvtk-collect export: --archive hourly, daily or monthly\n";
        return kExitConfig;
      }
      q.archive = *k;
    } else if (a[i] == "--json") json = true;
    else if (a[i] == "--csv") json = false;
    else {
      err << "statvtk-collect export: unknown argument " << a[i] << "\n";
      return kExitConfig;
    }
  }
  if (q.serial.empty()) {
    err << "statvtk-collect export: --serial S is needed\n";
    return kExitConfig;
  }
  // A bound compares as a period text: "2024-05" covers the whole month, a
  // "to" date every hour of its day.
  if (!q.to.empty()) q.to += "\x7f";
  auto cfg = LoadChecked(*c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, *c, err);
  if (!store) return kExitFailed;
  auto rows = store->Records(q);
  if (!rows) {
    err << "statvtk-collect export: " << rows.error().reason << "\n";
    return kExitFailed;
  }
  if (json) {
    Json list = Json::array();
    for (const auto& r : *rows) list.push_back(SerialRecordJson(r));
    out << JsonText(list) << "\n";
  } else {
    out << "serial,archive,period,forward_total,reverse_total,forward_increment,reverse_increment,flags,fields\n";
    for (const auto& r : *rows)
      out << Quoted(r.serial) << "," << store::ArchiveName(r.archive) << "," << r.period << "," << Csv(r.forwardTotal)
          << "," << Csv(r.reverseTotal) << "," << CsvOpt(r.forwardIncrement) << "," << CsvOpt(r.reverseIncrement) << ","
          << r.flags << "," << Quoted(r.fields) << "\n";
  }
  out.flush();
  return out ? kExitOk : kExitFailed;
}

}  // namespace statvtk::collect
