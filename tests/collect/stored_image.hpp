// A simulated instrument's memory (seed 77, its clock at 2026-12-08 10:30)
// and the store rows the collector keeps of it, made here from the slots'
// bytes: the fixtures of the tests that answer from the store what
// statvtk-cli answers from the file.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>

#include "collect/image/archive_slots.hpp"
#include "sim/expected_dump.hpp"
#include "sim/history.hpp"
#include "sim/memories.hpp"
#include "stats/stat_model.hpp"
#include "store/periods.hpp"
#include "store/record_store.hpp"

namespace statvtk::test {

inline StatData SimulatedDump(DeviceType type) {
  const auto now = static_cast<std::uint32_t>(CivilToDeviceTime(2026, 12, 8, 10, 30, 0));
  return sim::ExpectedDump(type, sim::BuildMemories(sim::GenerateHistory(type, 77, now)));
}

inline std::string Hex(std::span<const std::uint8_t> bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (auto b : bytes) s += digits[b >> 4], s += digits[b & 15];
  return s;
}

// Into `store`: a row of every valid record of `m` in `kinds` whose period `keep` takes.
inline void FillStore(store::RecordStore& store, const StatModel& m, const std::string& serial,
                      std::initializer_list<ArchiveKind> kinds, const std::function<bool(const std::string&)>& keep) {
  std::vector<store::RecordRow> rows;
  for (const ArchiveKind kind : kinds) {
    if (!m.HasArchive(kind)) continue;
    const collect::ArchiveSlots slots = collect::SlotsOf(m.Type(), kind);
    for (std::size_t i = 0; i < m.Index(kind).size(); ++i) {
      if (!m.EntryValid(kind, i)) continue;
      const StatRecord r = m.Decode(kind, i);
      store::RecordRow row;
      row.serial = serial;
      row.archive = kind;
      row.period = store::PeriodText(kind, {r.year, r.month, r.day, r.hour});
      if (!keep(row.period)) continue;
      row.forwardTotal = r.forwardTotal;
      row.raw = Hex(std::span(m.Data().area).subspan(m.Index(kind)[i].Pos, slots.size));
      rows.push_back(row);
    }
  }
  ASSERT_TRUE(store.PutRecords(rows));
}

}  // namespace statvtk::test
