// A record store in memory for the tests of what reads the store (the API,
// the page's data, MQTT payloads): the interface's behaviour on plain vectors.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <map>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "store/record_store.hpp"

namespace statvtk::test {

class MemoryStore final : public store::RecordStore {
 public:
  // The next PutRecords throws, once: a fault a collector's pass survives.
  bool throwOnNextUpsert = false;

  std::string_view Backend() const override { return "memory"; }
  Result<int> SchemaVersion() override { return 1; }
  Result<void> Begin() override { return Up(); }
  Result<void> Commit() override { return Up(); }
  void Rollback() override {}

  Result<void> UpsertInstrument(const store::InstrumentRow& row) override {
    for (auto& i : instruments)
      if (i.serial == row.serial && i.model == row.model) {
        i.name = row.name, i.line = row.line, i.address = row.address;
        if (!row.lastReadUtc.empty()) i.lastReadUtc = row.lastReadUtc;
        return Up();
      }
    instruments.push_back(row);
    return Up();
  }
  Result<std::vector<store::InstrumentRow>> Instruments() override {
    if (fault) fault();
    if (down) return Down();
    return instruments;
  }
  Result<std::int64_t> StartRead(const store::ReadStart& s) override {
    store::ReadRow r;
    r.id = static_cast<std::int64_t>(reads.size()) + 1;
    r.serial = s.serial, r.name = s.name, r.line = s.line, r.startedUtc = s.startedUtc, r.mode = s.mode;
    reads.push_back(r);
    return r.id;
  }
  Result<void> FinishRead(std::int64_t id, const store::ReadFinish& f) override {
    auto& r = reads.at(static_cast<std::size_t>(id - 1));
    if (!f.serial.empty()) r.serial = f.serial;
    r.endedUtc = f.endedUtc, r.outcome = f.outcome, r.error = f.error, r.requests = f.requests, r.file = f.file;
    r.recovered = f.recovered, r.lost = f.lost, r.added = f.added, r.conflicts = f.conflicts;
    return Up();
  }
  Result<std::vector<store::ReadRow>> Reads(const store::ReadQuery& q) override {
    if (beforeReads) beforeReads();
    if (down) return Down();
    std::vector<store::ReadRow> out;
    for (auto it = reads.rbegin(); it != reads.rend() && (q.limit == 0 || out.size() < q.limit); ++it)
      if ((q.serial.empty() || it->serial == q.serial) && (q.name.empty() || it->name == q.name) &&
          (!q.goodOnly || it->outcome == store::ReadOutcome::Done) && (q.line.empty() || it->line == q.line) &&
          (!q.origin || it->origin == *q.origin || it->origin.empty()))
        out.push_back(*it);
    return out;
  }
  Result<std::vector<store::Upsert>> PutRecords(std::span<const store::RecordRow> rows) override {
    if (std::exchange(throwOnNextUpsert, false)) throw std::runtime_error("store fault");
    std::vector<store::Upsert> out;
    for (const auto& row : rows) {
      const auto key = std::make_tuple(row.serial, static_cast<int>(row.archive), row.period);
      const auto it = records.find(key);
      if (it == records.end()) records.emplace(key, row);
      out.push_back(it == records.end()         ? store::Upsert::Added
                    : it->second.raw == row.raw ? store::Upsert::Same
                                                : store::Upsert::Conflict);
    }
    return out;
  }
  Result<std::vector<store::RecordRow>> Records(const store::RecordQuery& q) override {
    if (down) return Down();
    std::vector<store::RecordRow> out;
    for (const auto& [k, r] : records)
      if (r.serial == q.serial && r.archive == q.archive && (q.from.empty() || r.period >= q.from) &&
          (q.to.empty() || r.period <= q.to) && (q.limit == 0 || out.size() < q.limit))
        out.push_back(r);
    return out;
  }
  Result<std::vector<std::string>> Periods(const std::string& serial, ArchiveKind archive, const std::string& from,
                                           const std::string& to) override {
    auto rows = Records({serial, archive, from, to, 0});
    if (!rows) return rows.error();
    std::vector<std::string> out;
    for (const auto& r : *rows) out.push_back(r.period);
    return out;
  }
  Result<store::ArchiveStats> Stats(const std::string& serial, ArchiveKind archive) override {
    auto rows = Records({serial, archive, "", "", 0});
    if (!rows) return rows.error();
    store::ArchiveStats s;
    s.records = static_cast<std::int64_t>(rows->size());
    if (!rows->empty()) s.oldest = rows->front().period, s.newest = rows->back().period;
    return s;
  }
  Result<std::vector<store::PeriodSpan>> Holes(const std::string&, ArchiveKind, const std::string&,
                                               const std::string&) override {
    return std::vector<store::PeriodSpan>{};
  }
  Result<std::vector<store::ConflictRow>> Conflicts(const std::string&) override {
    return std::vector<store::ConflictRow>{};
  }
  Result<void> PutHeader(const store::HeaderRow& h) override {
    headers.push_back(h);
    return Up();
  }
  Result<std::optional<store::HeaderRow>> NewestHeader(const std::string& serial) override {
    if (down) return Down();
    for (auto it = headers.rbegin(); it != headers.rend(); ++it)
      if (it->serial == serial) return std::optional<store::HeaderRow>(*it);
    return std::optional<store::HeaderRow>();
  }
  Result<bool> UpsertEvent(const store::EventRow&) override { return true; }
  Result<std::int64_t> PutEvents(std::span<const store::EventRow> rows) override {
    return static_cast<std::int64_t>(rows.size());
  }
  Result<std::vector<store::EventRow>> Events(const std::string&, const std::string&, const std::string&) override {
    return std::vector<store::EventRow>{};
  }
  Result<std::vector<store::InstrumentSummary>> Summaries(int days, const store::PeriodTime& until) override {
    if (fault) fault();
    if (down) return Down();
    std::vector<store::InstrumentSummary> out;
    for (const auto& inst : instruments) {
      store::InstrumentSummary s;
      s.instrument = inst;
      if (auto last = Reads({inst.serial, "", 1, false}).value(); !last.empty()) s.lastRead = last.front();
      if (auto good = Reads({inst.serial, "", 1, true}).value(); !good.empty()) s.lastGoodRead = good.front();
      for (std::size_t k = 0; k < store::kArchiveKinds.size(); ++k) {
        const auto w = store::WindowOf(store::kArchiveKinds[k], days, until);
        auto& a = s.archives[k];
        a.stats = Stats(inst.serial, store::kArchiveKinds[k]).value();
        a.expected = w.expected;
        a.held = static_cast<std::int64_t>(Periods(inst.serial, store::kArchiveKinds[k], w.from, w.to)->size());
        for (const auto& g : Gaps(inst.serial, store::kArchiveKinds[k], "", "").value())
          if (g.first > a.stats.oldest && g.last < a.stats.newest) a.goneInside += g.count;
        a.completeness =
            a.expected == 0 ? 100.0 : 100.0 * static_cast<double>(a.held) / static_cast<double>(a.expected);
      }
      for (const auto& f : findings) {
        s.findings += f.serial == inst.serial;
        s.openFindings += f.serial == inst.serial && f.ackedUtc.empty();
      }
      out.push_back(std::move(s));
    }
    return out;
  }
  Result<bool> AddFinding(const store::FindingRow& f) override {
    findings.insert(findings.begin(), f);
    findings.front().id = static_cast<std::int64_t>(findings.size());
    return true;
  }
  Result<std::vector<store::FindingRow>> Findings(const std::string& serial) override {
    if (down) return Down();
    std::vector<store::FindingRow> out;
    for (const auto& f : findings)
      if (serial.empty() || f.serial == serial) out.push_back(f);
    return out;
  }
  Result<bool> AckFinding(std::int64_t id, const std::string& by, const std::string& utc) override {
    for (auto& f : findings)
      if (f.id == id && f.ackedUtc.empty()) {
        f.ackedUtc = utc, f.ackedBy = by;
        return true;
      }
    return false;
  }
  Result<std::int64_t> AddCall(const store::CallRow& c) override {
    if (down) return Down();
    calls.push_back(c);
    calls.back().id = static_cast<std::int64_t>(calls.size());
    return calls.back().id;
  }
  Result<std::vector<store::CallRow>> Calls(const std::string& line, std::size_t limit) override {
    if (down) return Down();
    std::vector<store::CallRow> out;
    for (auto it = calls.rbegin(); it != calls.rend() && (limit == 0 || out.size() < limit); ++it)
      if (line.empty() || it->line == line) out.push_back(*it);
    return out;
  }
  // The outbox may be used from a publisher's thread while a test enqueues.
  Result<std::int64_t> Enqueue(const store::OutboxMessage& m) override {
    const std::scoped_lock lock(outboxMutex);
    if (down) return Down();
    outbox.push_back(m);
    outbox.back().id = ++lastOutboxId;
    return outbox.back().id;
  }
  Result<std::vector<store::OutboxMessage>> Peek(const std::string& origin, std::size_t limit) override {
    if (fault) fault();
    const std::scoped_lock lock(outboxMutex);
    if (down) return Down();
    std::vector<store::OutboxMessage> out;
    for (const auto& m : outbox)
      if (m.origin == origin && (limit == 0 || out.size() < limit)) out.push_back(m);
    return out;
  }
  Result<void> Ack(std::int64_t id) override {
    const std::scoped_lock lock(outboxMutex);
    if (down) return Down();
    std::erase_if(outbox, [&](const auto& m) { return m.id == id; });
    return {};
  }
  Result<std::int64_t> TrimOutbox(const std::string& origin, std::int64_t keep) override {
    const std::scoped_lock lock(outboxMutex);
    if (down) return Down();
    std::int64_t over = -keep, dropped = 0;
    for (const auto& m : outbox) over += m.origin == origin ? 1 : 0;
    std::erase_if(outbox, [&](const auto& m) {
      if (dropped >= over || m.origin != origin || m.retain) return false;
      return ++dropped > 0;
    });
    return dropped;
  }
  Result<void> PutGap(const std::string& serial, ArchiveKind archive, const store::PeriodSpan& gap,
                      std::int64_t) override {
    gaps.emplace_back(serial, static_cast<int>(archive), gap);
    return Up();
  }
  Result<std::vector<store::PeriodSpan>> Gaps(const std::string& serial, ArchiveKind archive, const std::string&,
                                              const std::string&) override {
    std::vector<store::PeriodSpan> out;
    for (const auto& [s, a, g] : gaps)
      if (s == serial && a == static_cast<int>(archive)) out.push_back(g);
    return out;
  }
  Result<std::int64_t> PutSlots(const std::string& serial, std::span<const store::SlotRow> rows) override {
    for (const auto& r : rows) slots[{serial, static_cast<int>(r.archive)}][r.slot] = r;
    return static_cast<std::int64_t>(rows.size());
  }
  Result<std::vector<store::SlotRow>> Slots(const std::string& serial, ArchiveKind archive) override {
    if (down) return Down();
    std::vector<store::SlotRow> out;
    for (const auto& [slot, row] : slots[{serial, static_cast<int>(archive)}]) out.push_back(row);
    return out;
  }
  Result<void> ForgetSlots(const std::string& serial, ArchiveKind archive, std::int64_t first, std::int64_t last,
                           std::int64_t readId) override {
    std::erase_if(slots[{serial, static_cast<int>(archive)}],
                  [&](const auto& s) { return s.first >= first && s.first <= last && s.second.readId != readId; });
    return Up();
  }
  Result<void> Check() override { return Up(); }

  Result<std::int64_t> OutboxSize(const std::string& origin) override {
    if (auto up = Up(); !up) return up.error();
    const std::scoped_lock lock(outboxMutex);
    return static_cast<std::int64_t>(
        std::count_if(outbox.begin(), outbox.end(), [&](const auto& m) { return m.origin == origin; }));
  }
  std::size_t OutboxSize() {
    const std::scoped_lock lock(outboxMutex);
    return outbox.size();
  }
  // Collectors and leases as the test set them (alive and held as given).
  Result<std::vector<store::CollectorRow>> Collectors(std::int64_t) override {
    if (auto up = Up(); !up) return up.error();
    return collectors;
  }
  Result<std::vector<store::LeaseRow>> Leases() override {
    if (auto up = Up(); !up) return up.error();
    return leases;
  }

  std::atomic<bool> down{false};
  ErrorCode downAs = ErrorCode::StoreUnreachable;  // how a store that is down fails
  std::vector<store::CallRow> calls;
  std::function<void()> fault;        // called first by Instruments(), Summaries() and Peek(): a test may throw from it
  std::function<void()> beforeReads;  // called first by Reads(): a test may hold a pass at its start
  std::mutex outboxMutex;             // every call fails, as with a server that went away
  std::vector<store::InstrumentRow> instruments;
  std::vector<store::ReadRow> reads;
  std::map<std::tuple<std::string, int, std::string>, store::RecordRow> records;
  std::vector<store::FindingRow> findings;
  std::vector<store::HeaderRow> headers;
  std::vector<store::OutboxMessage> outbox;
  std::vector<store::CollectorRow> collectors;
  std::vector<store::LeaseRow> leases;
  std::vector<std::tuple<std::string, int, store::PeriodSpan>> gaps;
  std::map<std::pair<std::string, int>, std::map<std::int64_t, store::SlotRow>> slots;
  std::int64_t lastOutboxId = 0;

 private:
  Result<void> Up() const {
    if (down) return Down();
    return {};
  }
  Error Down() const { return MakeError(downAs, "store down"); }
};

}  // namespace statvtk::test
