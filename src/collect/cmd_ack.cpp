// statvtk-collect ack: findings acknowledged, so that they stop counting as
// open on the page, in `status` and in /metrics; and abnormal situations,
// so that the operator's notice of them is kept.
#include <functional>
#include <cstdlib>

#include "base/printable_text.hpp"
#include "collect/commands.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

const char* kAckAbout = R"(Acknowledges findings of the checks by their id (the "id" of GET
/api/findings, `status --json`), or every open finding of one instrument
(--serial). An acknowledged finding stays in the store with who took it and
when, and no longer counts as open. --situation ID acknowledges abnormal
situations instead (the "id" of GET /api/situations). Exit status: 0 all
acknowledged, 1 an id not open (or the store failed), 2 bad arguments.)";

std::string DefaultBy() {
  const char* user = std::getenv("USER");
  return user && *user ? user : "statvtk-collect";
}

// Each of `ids` acknowledged through `ack` (false: there is no such `what`
// open): the exit status.
int AckEach(const std::vector<std::int64_t>& ids, const std::function<Result<bool>(std::int64_t)>& ack,
            const std::string& what, const std::string& missing, const std::string& by, std::ostream& out,
            std::ostream& err) {
  int status = kExitOk;
  for (const std::int64_t id : ids) {
    auto acked = ack(id);
    if (!acked) {
      err << "statvtk-collect ack: " << acked.error().reason << "\n";
      return kExitFailed;
    }
    if (*acked) {
      out << what << " " << id << " принята (" << PrintableText(by) << ")\n";
    } else {
      err << "statvtk-collect ack: " << missing << " " << id << "\n";
      status = kExitFailed;
    }
  }
  return status;
}

}  // namespace

int RunAck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommonArgs given;
  std::vector<std::int64_t> ids, situations;
  std::string serial, by = DefaultBy();
  const auto app = CommandApp("ack", kAckAbout, given);
  app->add_option("id", ids, "the findings' ids")->check(CLI::PositiveNumber);
  app->add_option("--serial", serial, "every open finding of the instrument with this serial");
  app->add_option("--situation", situations, "abnormal situations' ids (instead of findings)")
      ->check(CLI::PositiveNumber);
  app->add_option("--by", by, "who acknowledges (default: the user's name)");
  if (auto done = ParseCommand(*app, args, out, err)) return *done;
  if (!ids.empty() + !serial.empty() + !situations.empty() != 1) {
    err << "statvtk-collect ack: укажите номера находок, --serial SERIAL или --situation ID (одно из трёх)\n";
    return kExitConfig;
  }
  const Common c = given.Resolved();
  auto cfg = LoadChecked(c, err);
  if (!cfg) return kExitConfig;
  auto store = OpenStore(*cfg, c, err);
  if (!store) return kExitFailed;
  const std::string now = store::UtcNow();
  if (!situations.empty()) {
    const auto ack = [&](std::int64_t id) { return store->AckSituation(id, by, now); };
    return AckEach(situations, ack, "ситуация", "нет ситуации", by, out, err);
  }
  if (!serial.empty()) {
    auto findings = store->Findings(serial);
    if (!findings) {
      err << "statvtk-collect ack: " << findings.error().reason << "\n";
      return kExitFailed;
    }
    for (const auto& f : *findings)
      if (f.ackedUtc.empty() && f.serial == serial) ids.push_back(f.id);
    if (ids.empty()) out << "у прибора " << PrintableText(serial) << " нет открытых находок\n";
  }
  const auto ack = [&](std::int64_t id) { return store->AckFinding(id, by, now); };
  return AckEach(ids, ack, "находка", "нет открытой находки", by, out, err);
}

}  // namespace statvtk::collect
