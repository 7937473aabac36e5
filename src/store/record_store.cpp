#include "store/record_store.hpp"

#include <algorithm>

#include "store/pg_connection.hpp"

namespace statvtk::store {

namespace {

template <class E, std::size_t N>
std::optional<E> OfName(const std::array<std::string_view, N>& names, std::string_view name) {
  for (std::size_t i = 0; i < N; ++i)
    if (names[i] == name) return static_cast<E>(i);
  return {};
}

constexpr std::array<std::string_view, 3> kArchiveNames{"hourly", "daily", "monthly"};
constexpr std::array<std::string_view, 3> kModeNames{"full", "new", "backfill"};
constexpr std::array<std::string_view, 3> kOutcomeNames{"done", "failed", "stopped"};
constexpr std::array<std::string_view, 9> kFindingNames{"total_down",    "increment_mismatch", "clock_off",
                                                        "conflict",      "store_down",         "outbox_overflow",
                                                        "repeated_hour", "modem_set_aside",    "implausible_slot"};

}  // namespace

std::string_view ArchiveName(ArchiveKind kind) { return kArchiveNames[static_cast<std::size_t>(kind)]; }
std::optional<ArchiveKind> ArchiveOfName(std::string_view name) { return OfName<ArchiveKind>(kArchiveNames, name); }
std::string_view ReadModeName(ReadMode mode) { return kModeNames[static_cast<std::size_t>(mode)]; }
std::string_view ReadOutcomeName(ReadOutcome outcome) { return kOutcomeNames[static_cast<std::size_t>(outcome)]; }
std::optional<ReadMode> ReadModeOfName(std::string_view name) { return OfName<ReadMode>(kModeNames, name); }
std::optional<ReadOutcome> ReadOutcomeOfName(std::string_view name) { return OfName<ReadOutcome>(kOutcomeNames, name); }
std::string_view FindingKindName(FindingKind kind) { return kFindingNames[static_cast<std::size_t>(kind)]; }
std::optional<FindingKind> FindingKindOfName(std::string_view name) { return OfName<FindingKind>(kFindingNames, name); }

Result<std::vector<ReadRun>> RecordStore::ReadRuns(std::span<const ReadRunKey> keys) {
  std::vector<ReadRun> out;
  for (const auto& key : keys) {
    ReadRun run;
    run.name = key.name;
    auto reads = Reads({"", key.name, 0, false, key.line});
    if (!reads) return reads.error();
    for (std::size_t i = 0; i < reads->size() && (*reads)[i].outcome != ReadOutcome::Done; ++i) {
      const ReadRow& r = (*reads)[i];
      ++run.failuresInRow;
      const bool cutOff = !r.outcome && i > 0;
      if (run.lastFailure || (r.outcome != ReadOutcome::Failed && !cutOff)) continue;
      run.lastFailure = r;
      run.lastCutOff = cutOff;
    }
    out.push_back(std::move(run));
  }
  return out;
}

Result<std::unique_ptr<RecordStore>> OpenRecordStore(std::string_view database, const std::filesystem::path& home,
                                                     const StoreOptions& options) {
  for (const auto& backend : StoreBackends())
    if (backend.accepts(database)) return backend.open(database, home, options);
  return MakeError(ErrorCode::BadSettings,
                   "Database=" + RedactedUrl(database) + ": такую базу данных программа не знает");
}

}  // namespace statvtk::store
