// A record store for the collector's tests: every call goes to a real store
// (SQLite in a temporary folder of its own, or one given), after a hook
// that counts it and may make it fail (an error returned, or a throw). Calls
// are taken one at a time (a connection serves one thread), so a test may
// look at the store while the code under test uses it. A thin forwarder, one
// line per method of RecordStore.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "store/record_store.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::test {

class ForwardingStore final : public store::RecordStore {
 public:
  // Before a call named `method`: an error to return instead of it, or
  // nothing to let it through (it may also throw).
  using Hook = std::function<std::optional<Error>(std::string_view method)>;

  explicit ForwardingStore(std::unique_ptr<store::RecordStore> inner) : inner_(std::move(inner)) {}
  // A new SQLite store (origin "me") in a temporary folder that goes with
  // it; throws (failing the test) when it cannot be made.
  static std::unique_ptr<ForwardingStore> Sqlite() {
    auto folder = std::make_unique<link_test::TempFolder>();
    auto s = store::OpenRecordStore("collect.sqlite", folder->Path(), {.origin = "me"});
    if (!s) throw std::runtime_error("the test's SQLite store: " + s.error().reason);
    auto out = std::make_unique<ForwardingStore>(std::move(*s));
    out->folder_ = std::move(folder);
    return out;
  }
  ~ForwardingStore() override {
    inner_.reset();  // closed before its folder goes
  }

  void SetHook(Hook hook) {
    const std::scoped_lock lock(mutex_);
    hook_ = std::move(hook);
  }
  // How many times `method` was called.
  std::size_t Calls(std::string_view method) const {
    const std::scoped_lock lock(mutex_);
    const auto it = calls_.find(std::string(method));
    return it == calls_.end() ? 0 : it->second;
  }
  // The folder of the SQLite store Sqlite() made (its file: collect.sqlite).
  std::filesystem::path Folder() const { return folder_ ? folder_->Path() : std::filesystem::path(); }

  using Text = const std::string&;
  using Id = std::int64_t;
  std::string_view Backend() const override { return inner_->Backend(); }
  void Rollback() override {
    const std::scoped_lock call(callMutex_);
    inner_->Rollback();
  }

#define STATVTK_FORWARD(Type, Name, Params, Args) \
  Type Name Params override {                     \
    if (auto e = Before(#Name)) return *e;        \
    const std::scoped_lock call(callMutex_);      \
    return inner_->Name Args;                     \
  }
  STATVTK_FORWARD(Result<int>, SchemaVersion, (), ())
  STATVTK_FORWARD(Result<void>, Begin, (), ())
  STATVTK_FORWARD(Result<void>, Commit, (), ())
  STATVTK_FORWARD(Result<void>, UpsertInstrument, (const store::InstrumentRow& r), (r))
  STATVTK_FORWARD(Result<std::vector<store::InstrumentRow>>, Instruments, (), ())
  STATVTK_FORWARD(Result<std::int64_t>, StartRead, (const store::ReadStart& s), (s))
  STATVTK_FORWARD(Result<void>, FinishRead, (Id id, const store::ReadFinish& f), (id, f))
  STATVTK_FORWARD(Result<std::vector<store::ReadRow>>, Reads, (const store::ReadQuery& q), (q))
  STATVTK_FORWARD(Result<std::vector<store::Upsert>>, PutRecords, (std::span<const store::RecordRow> rows), (rows))
  STATVTK_FORWARD(Result<std::vector<store::RecordRow>>, Records, (const store::RecordQuery& q), (q))
  STATVTK_FORWARD(Result<std::vector<std::string>>, Periods, (Text s, ArchiveKind a, Text from, Text to),
                  (s, a, from, to))
  STATVTK_FORWARD(Result<store::ArchiveStats>, Stats, (Text s, ArchiveKind a), (s, a))
  STATVTK_FORWARD(Result<std::vector<store::PeriodSpan>>, Holes, (Text s, ArchiveKind a, Text from, Text to),
                  (s, a, from, to))
  STATVTK_FORWARD(Result<std::vector<store::ConflictRow>>, Conflicts, (Text s), (s))
  STATVTK_FORWARD(Result<void>, PutHeader, (const store::HeaderRow& r), (r))
  STATVTK_FORWARD(Result<std::optional<store::HeaderRow>>, NewestHeader, (Text s), (s))
  STATVTK_FORWARD(Result<bool>, UpsertEvent, (const store::EventRow& r), (r))
  STATVTK_FORWARD(Result<std::int64_t>, PutEvents, (std::span<const store::EventRow> rows), (rows))
  STATVTK_FORWARD(Result<std::vector<store::EventRow>>, Events, (Text s, Text from, Text to), (s, from, to))
  STATVTK_FORWARD(Result<std::vector<store::InstrumentSummary>>, Summaries, (int days, const store::PeriodTime& until),
                  (days, until))
  STATVTK_FORWARD(Result<std::vector<store::ReadRun>>, ReadRuns, (std::span<const store::ReadRunKey> keys), (keys))
  STATVTK_FORWARD(Result<std::int64_t>, PruneHeaders, (int days, Text now), (days, now))
  STATVTK_FORWARD(Result<std::vector<store::DayCount>>, HourlyByDay,
                  (std::span<const std::string> serials, Text from, Text to), (serials, from, to))
  STATVTK_FORWARD(Result<std::vector<store::ReadDayCount>>, ReadsByDay, (Text from), (from))
  STATVTK_FORWARD(Result<bool>, AddFinding, (const store::FindingRow& r), (r))
  STATVTK_FORWARD(Result<std::vector<store::FindingRow>>, Findings, (Text s), (s))
  STATVTK_FORWARD(Result<bool>, AckFinding, (Id id, Text by, Text utc), (id, by, utc))
  STATVTK_FORWARD(Result<store::SituationChanges>, PutSituations,
                  (Text serial, std::span<const store::SituationRow> found, Text utc), (serial, found, utc))
  STATVTK_FORWARD(Result<store::SituationChanges>, RaiseSituation, (const store::SituationRow& r, Text utc), (r, utc))
  STATVTK_FORWARD(Result<store::SituationChanges>, ClearSituations,
                  (Text serial, Text kind, Text source, Text lastHour, Text utc), (serial, kind, source, lastHour, utc))
  STATVTK_FORWARD(Result<std::vector<store::SituationRow>>, Situations, (const store::SituationQuery& q), (q))
  STATVTK_FORWARD(Result<std::int64_t>, CountSituations, (const store::SituationQuery& q), (q))
  STATVTK_FORWARD(Result<bool>, AckSituation, (Id id, Text by, Text utc), (id, by, utc))
  STATVTK_FORWARD(Result<std::int64_t>, AddCall, (const store::CallRow& c), (c))
  STATVTK_FORWARD(Result<std::vector<store::CallRow>>, Calls, (Text line, std::size_t limit), (line, limit))
  STATVTK_FORWARD(Result<std::int64_t>, Enqueue, (const store::OutboxMessage& m), (m))
  STATVTK_FORWARD(Result<std::vector<store::OutboxMessage>>, Peek, (Text o, std::size_t limit), (o, limit))
  STATVTK_FORWARD(Result<void>, Ack, (Id id), (id))
  STATVTK_FORWARD(Result<std::int64_t>, TrimOutbox, (Text o, Id keep), (o, keep))
  STATVTK_FORWARD(Result<std::int64_t>, OutboxSize, (Text o), (o))
  STATVTK_FORWARD(Result<void>, RegisterCollector, (const store::CollectorRow& r), (r))
  STATVTK_FORWARD(Result<void>, SeeCollector, (Text o), (o))
  STATVTK_FORWARD(Result<std::vector<store::CollectorRow>>, Collectors, (Id s), (s))
  STATVTK_FORWARD(Result<std::optional<std::int64_t>>, TakeLease, (Text line, Text o, Id ttl), (line, o, ttl))
  STATVTK_FORWARD(Result<bool>, RenewLease, (Text line, Text o, Id epoch, Id ttl), (line, o, epoch, ttl))
  STATVTK_FORWARD(Result<void>, ReleaseLease, (Text line, Text o, Id epoch), (line, o, epoch))
  STATVTK_FORWARD(Result<std::vector<store::LeaseRow>>, Leases, (), ())
  STATVTK_FORWARD(Result<std::int64_t>, AdoptOutbox, (Text o, Id s), (o, s))
  STATVTK_FORWARD(Result<void>, PutGap, (Text s, ArchiveKind a, const store::PeriodSpan& g, Id id), (s, a, g, id))
  STATVTK_FORWARD(Result<std::vector<store::PeriodSpan>>, Gaps, (Text s, ArchiveKind a, Text from, Text to),
                  (s, a, from, to))
  STATVTK_FORWARD(Result<Id>, PutSlots, (Text s, std::span<const store::SlotRow> slots), (s, slots))
  STATVTK_FORWARD(Result<std::vector<store::SlotRow>>, Slots, (Text s, ArchiveKind a), (s, a))
  STATVTK_FORWARD(Result<void>, ForgetSlots, (Text s, ArchiveKind a, Id first, Id last, Id id), (s, a, first, last, id))
  STATVTK_FORWARD(Result<void>, Check, (), ())
#undef STATVTK_FORWARD

 private:
  std::optional<Error> Before(const char* method) {
    Hook hook;
    {
      const std::scoped_lock lock(mutex_);
      ++calls_[method];
      hook = hook_;
    }
    return hook ? hook(method) : std::nullopt;
  }

  std::unique_ptr<link_test::TempFolder> folder_;
  std::unique_ptr<store::RecordStore> inner_;
  mutable std::mutex mutex_;
  std::mutex callMutex_;  // one call at a time: a test looks from its thread while the code under test works
  Hook hook_;
  std::map<std::string, std::size_t> calls_;
};

}  // namespace statvtk::test
